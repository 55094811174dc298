// SPDX-License-Identifier: MIT
// Finds and parses the ports file.
#include "drivers/gpio_ports_file.h"

#include "drivers/shown_text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <optional>

namespace drivers {

namespace {

constexpr std::size_t bits_per_port = 8;
// A ports file has a few lines; anything much longer is the wrong file.
constexpr std::size_t max_file_size = std::size_t { 1 } << 20;
constexpr std::string_view label_prefix = "label:";
constexpr std::string_view format
    = "PORT = CHIP LINE0 [LINE1 ... LINE7] [active-low] [bias=pull-up|pull-down|disabled]";

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Words apart by blanks, except in double quotes: label:"GPIO expander" is one word.
std::vector<std::string_view> words(std::string_view text)
{
    std::vector<std::string_view> found;
    while (!(text = trimmed(text)).empty()) {
        std::size_t end = 0;
        for (bool quoted = false; end < text.size(); ++end) {
            if (text[end] == '"')
                quoted = !quoted;
            else if (!quoted && (text[end] == ' ' || text[end] == '\t'))
                break;
        }
        found.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return found;
}

// label:"TEXT" as label:TEXT; other chips as written. Empty when a quote is left open.
std::string unquoted_chip(std::string_view chip)
{
    if (!chip.starts_with(label_prefix) || chip.find('"') == std::string_view::npos)
        return std::string(chip);
    const auto label = chip.substr(label_prefix.size());
    if (label.size() < 3 || !label.starts_with('"') || !label.ends_with('"')
        || label.substr(1, label.size() - 2).find('"') != std::string_view::npos)
        return {};
    return std::string(label_prefix) + std::string(label.substr(1, label.size() - 2));
}

template <typename Number> std::optional<Number> number(std::string_view text, int base)
{
    Number value {};
    const auto* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::optional<std::uint16_t> port_number(std::string_view text)
{
    const bool hex = text.size() > 2 && (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X");
    return number<std::uint16_t>(hex ? text.substr(2) : text, hex ? 16 : 10);
}

bool is_chip(std::string_view text)
{
    constexpr std::string_view numbered = "gpiochip";
    if (text.starts_with(numbered))
        return number<unsigned>(text.substr(numbered.size()), 10).has_value();
    if (text.starts_with(label_prefix))
        return text.size() > label_prefix.size();
    return text.starts_with("/dev/") && text.size() > 5;
}

// Empty when the line is good; else what was expected.
std::string parse_mapping(std::string_view line, GpioMapping& mapping)
{
    const auto equals = line.find('=');
    const auto port_text = trimmed(line.substr(0, std::min(equals, line.size())));
    // A blank before the first '=' means the line's own '=' is missing (888 gpiochip0 1 bias=...).
    if (equals == std::string_view::npos
        || port_text.find_first_of(" \t") != std::string_view::npos)
        return "expected " + std::string(format);
    const auto port = port_number(port_text);
    if (!port)
        return "port " + shown_text::quoted(port_text)
            + " is not a number 0-65535 (decimal or 0x...)";
    mapping.port = *port;

    const auto rest = words(line.substr(equals + 1));
    if (rest.empty() || !is_chip(rest[0]))
        return "expected a chip after '=' (gpiochipN, a path under /dev, or label:TEXT), found "
            + (rest.empty() ? std::string("nothing") : shown_text::quoted(rest[0]));
    mapping.chip = unquoted_chip(rest[0]);
    if (mapping.chip.empty())
        return "expected label:\"TEXT\" with TEXT in one pair of double quotes, found "
            + shown_text::quoted(rest[0]);

    std::size_t at = 1;
    for (; at < rest.size(); ++at) {
        const auto line_number = number<std::uint32_t>(rest[at], 10);
        if (!line_number) {
            if (rest[at].find_first_not_of("+-0123456789") == std::string_view::npos)
                return "line " + shown_text::quoted(rest[at])
                    + " is not a line number 0-4294967295";
            break;
        }
        if (std::find(mapping.lines.begin(), mapping.lines.end(), *line_number)
            != mapping.lines.end())
            return "line " + std::to_string(*line_number) + " is given twice";
        if (mapping.lines.size() == bits_per_port)
            return "more than 8 lines: a port has 8 bits";
        mapping.lines.push_back(*line_number);
    }
    if (mapping.lines.empty())
        return "expected a line number after " + shown_text::quoted(mapping.chip) + ", found "
            + (at < rest.size() ? shown_text::quoted(rest[at]) : std::string("nothing"));

    bool bias_given = false;
    for (; at < rest.size(); ++at) {
        const auto option = rest[at];
        if (option == "active-low" && !mapping.active_low) {
            mapping.active_low = true;
        } else if (option.starts_with("bias=") && !bias_given) {
            const auto bias = option.substr(5);
            if (bias == "pull-up")
                mapping.bias = GpioBias::PullUp;
            else if (bias == "pull-down")
                mapping.bias = GpioBias::PullDown;
            else if (bias == "disabled")
                mapping.bias = GpioBias::Disabled;
            else
                return "bias " + shown_text::quoted(bias)
                    + " is unknown: expected pull-up, pull-down or disabled";
            bias_given = true;
        } else if (option == "active-low" || option.starts_with("bias=")) {
            return shown_text::quoted(option.substr(0, option.find('='))) + " is given twice";
        } else {
            return "expected active-low or bias=pull-up|pull-down|disabled after the lines, found "
                + shown_text::quoted(option);
        }
    }
    return {};
}

std::string_view device_of(std::string_view chip)
{
    return chip.starts_with("/dev/gpiochip") ? chip.substr(5) : chip;
}

// The kernel lends a line to one request at a time, so a line in two ports would leave the
// second one busy, seemingly by another program. Chips compare as written, less "/dev/".
std::string line_used_before(const GpioMapping& mapping, const std::vector<GpioMapping>& ports,
    const std::vector<std::size_t>& mapped_on)
{
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (device_of(ports[i].chip) != device_of(mapping.chip))
            continue;
        for (const auto line : mapping.lines) {
            if (std::find(ports[i].lines.begin(), ports[i].lines.end(), line)
                != ports[i].lines.end())
                return "line " + std::to_string(line) + " of " + shown_text::plain(mapping.chip)
                    + " is port " + std::to_string(ports[i].port) + "'s already (line "
                    + std::to_string(mapped_on[i]) + "): a line can serve one port";
        }
    }
    return {};
}

} // namespace

PortsFile parse_ports_file(std::string_view text, const std::string& name)
{
    PortsFile file;
    std::vector<std::size_t> mapped_on; // the line number of each port in file.ports
    std::size_t line_number = 0;
    // A UTF-8 byte order mark, which some Windows editors write.
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    while (!text.empty()) {
        ++line_number;
        const auto end = std::min(text.find('\n'), text.size());
        auto line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        line = trimmed(line.substr(0, line.find('#')));
        if (line.empty())
            continue;
        GpioMapping mapping;
        std::string problem = parse_mapping(line, mapping);
        const auto same = std::find_if(file.ports.begin(), file.ports.end(),
            [&](const GpioMapping& known) { return known.port == mapping.port; });
        if (problem.empty() && same != file.ports.end())
            problem = "port " + std::to_string(mapping.port) + " is mapped already on line "
                + std::to_string(mapped_on[static_cast<std::size_t>(same - file.ports.begin())]);
        if (problem.empty())
            problem = line_used_before(mapping, file.ports, mapped_on);
        if (!problem.empty())
            return { {},
                shown_text::plain(name) + ":" + std::to_string(line_number) + ": " + problem };
        file.ports.push_back(std::move(mapping));
        mapped_on.push_back(line_number);
    }
    return file;
}

PortsFile load_ports_file(const Environment& environment, const std::filesystem::path& system_file)
{
    const auto variable = [&](const char* name) -> std::string {
        const char* value = environment(name);
        return value != nullptr ? value : "";
    };
    std::filesystem::path chosen;
    if (const char* named = environment("MOVANTA_PORTS"); named != nullptr) {
        // Set but empty is a mistake (a script's unset variable), not a wish for the default.
        if (*named == '\0')
            return { {}, "MOVANTA_PORTS is set but empty: name a ports file, or unset it" };
        chosen = named;
    } else {
        const std::string config = variable("XDG_CONFIG_HOME");
        const std::string home = variable("HOME");
        std::error_code ignored;
        if (!config.empty())
            chosen = std::filesystem::path(config) / "movanta/ports.conf";
        else if (!home.empty())
            chosen = std::filesystem::path(home) / ".config/movanta/ports.conf";
        if (chosen.empty() || !std::filesystem::exists(chosen, ignored))
            chosen = system_file;
        if (!std::filesystem::exists(chosen, ignored))
            return {};
    }
    // Named by mistake, a directory would make the read throw, /dev/zero would never end it
    // and a FIFO would block it.
    std::error_code status_error;
    const auto type = std::filesystem::status(chosen, status_error).type();
    const std::string shown = shown_text::plain(chosen.string());
    if (!status_error && type != std::filesystem::file_type::regular)
        return { {}, shown + ": not a regular file" };
    errno = 0;
    std::ifstream in(chosen, std::ios::binary);
    std::string text;
    char block[4096];
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        text.append(block, static_cast<std::size_t>(in.gcount()));
        if (text.size() > max_file_size)
            return { {}, shown + ": larger than 1 MiB: not a ports file" };
    }
    if (!in.is_open() || in.bad())
        return { {}, shown + ": " + std::strerror(errno != 0 ? errno : EIO) };
    return parse_ports_file(text, chosen.string());
}

} // namespace drivers
