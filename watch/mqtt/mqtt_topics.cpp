// SPDX-License-Identifier: MIT
// The topics movanta-watch publishes under its prefix.
#include "watch/mqtt_topics.h"

#include <optional>
#include <stdexcept>

namespace watch {

namespace {

// What is wrong with text as MQTT UTF-8 (malformed, a surrogate, an overlong form, beyond
// U+10FFFF, or a control character U+0000-U+001F or U+007F-U+009F, which brokers refuse or
// clients cannot show), or nothing.
std::optional<std::string> utf8_problem(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if ((lead >= 0x80 && lead < 0xC2) || lead > 0xF4 || i + length > text.size())
            return "it is not valid UTF-8";
        char32_t code = length == 1 ? lead : lead & (0x7FU >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return "it is not valid UTF-8";
            code = (code << 6) | (next & 0x3FU);
        }
        constexpr char32_t least[] = { 0, 0, 0x80, 0x800, 0x10000 };
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return "it is not valid UTF-8";
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
            return "it holds a control character";
        i += length;
    }
    return std::nullopt;
}

} // namespace

MqttTopics::MqttTopics(std::string prefix)
    : prefix_(std::move(prefix))
{
    const auto refuse = [this](std::string_view why) {
        throw std::invalid_argument(
            "invalid MQTT topic prefix '" + prefix_ + "': " + std::string(why));
    };
    if (prefix_.empty())
        refuse("it is empty");
    if (prefix_.find_first_of("+#") != std::string::npos)
        refuse("the wildcards + and # are for subscribing");
    if (prefix_.find('\0') != std::string::npos)
        refuse("it holds a NUL character");
    if (const auto problem = utf8_problem(prefix_))
        refuse(*problem);
    if (prefix_.front() == '/' || prefix_.back() == '/')
        refuse("it must not begin or end with '/'");
    if (prefix_.front() == '$')
        refuse("topics that begin with '$' belong to the broker");
    // The longest topic, prefix + "/availability", has to fit MQTT's 16-bit length.
    if (prefix_.size() > 65000)
        refuse("it is too long");
}

std::string default_topic_prefix(std::string_view host, std::string_view port)
{
    return "movanta/" + std::string(host) + "/" + std::string(port);
}

} // namespace watch
