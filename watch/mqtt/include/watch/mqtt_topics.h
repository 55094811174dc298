// SPDX-License-Identifier: MIT
// The topics movanta-watch publishes under its prefix.
#pragma once

#include <string>
#include <string_view>

namespace watch {

// The availability topic's two payloads (retained; "offline" is the last will, too).
inline constexpr std::string_view availability_online = "online";
inline constexpr std::string_view availability_offline = "offline";

class MqttTopics {
public:
    // Throws std::invalid_argument for a prefix no broker takes for publishing: empty, with
    // a wildcard (+ #), a NUL or a leading or trailing '/', one that starts with '$', or one
    // that is not valid UTF-8 or holds a control character.
    explicit MqttTopics(std::string prefix);

    [[nodiscard]] const std::string& prefix() const noexcept { return prefix_; }
    [[nodiscard]] std::string availability() const { return prefix_ + "/availability"; }
    [[nodiscard]] std::string state() const { return prefix_ + "/state"; }
    [[nodiscard]] std::string change() const { return prefix_ + "/change"; }
    // bit 0 to 7 of the shown value
    [[nodiscard]] std::string bit(int bit) const { return prefix_ + "/bit/" + std::to_string(bit); }
    // the rising edges of bit 0 to 7 counted so far
    [[nodiscard]] std::string count(int bit) const
    {
        return prefix_ + "/count/" + std::to_string(bit);
    }

private:
    std::string prefix_;
};

// movanta/HOST/PORT
[[nodiscard]] std::string default_topic_prefix(std::string_view host, std::string_view port);

} // namespace watch
