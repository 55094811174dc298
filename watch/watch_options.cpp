// SPDX-License-Identifier: MIT
// GNU-style option parsing for movanta-watch: a table of options, each with its own reader.
#include "watch/watch_options.h"

#include "core/strict_number.h"
#include "service_option_values.h"
#include "watch/mqtt_topics.h"

#include <algorithm>
#include <array>
#include <functional>
#include <stdexcept>
#include <vector>

using namespace core;

namespace watch {

namespace {

constexpr std::string_view program = "movanta-watch";
constexpr std::string_view intro = R"(
Watches one byte-wide I/O port as the Movanta window does, without a window: reads it at a
steady interval and writes a record of its value, 255 minus the byte read, at the start and
at every change.

)";

#ifdef _WIN32
constexpr std::string_view exit_status = R"(
Exit status: 0 done (count reached, until matched, once, a closed pipe, or ended by Ctrl+C,
Ctrl+Break or closing the console); 1 the port, the driver or the output failed; 2 bad
command line, or --mqtt: MQTT is not part of this build; 3 timeout.
The driver library dlportio.dll is found as the window finds it: beside the program first.
)";
#else
constexpr std::string_view exit_status = R"(
Exit status: 0 done (count reached, until matched, once, a closed pipe, or ended by SIGINT,
SIGTERM or SIGHUP); 1 the port, the driver, the output or the counters file failed, or the
broker refused the login; 2 bad command line, or a password or CA file that cannot be used;
3 timeout.
The driver library libdlportio.so is found as the window finds it: LD_LIBRARY_PATH first.
)";
#endif

// Where an option's description starts in --help; a longer option goes on a line of its own.
constexpr std::size_t help_column = 25;

// Interval and timeout limits, as the window's timer has them: 2^31 - 1 ms.
constexpr std::int64_t max_interval_ns = 2'147'483'647LL * 1'000'000;
constexpr std::int64_t min_interval_ns = 10'000; // 0.01 ms
constexpr std::int64_t max_timeout_ns = 2'147'483'647LL * 1'000'000'000;

struct Option {
    std::string_view long_name;
    char short_name; // '\0': none
    std::string_view argument; // its name in messages; empty: the option takes none
    // Applies the option; returns a reason when the argument is refused.
    std::function<std::optional<std::string>(WatchOptions&, std::string_view)> apply;
    // Not empty: the argument is optional (--name=VALUE only) and this is used without it.
    std::string_view default_argument = {};
    // False for an argument that may hold a secret: a refusal does not repeat it.
    bool shown = true;
    // Its lines in --help, broken where they are to break.
    std::string_view help = {};
};

// The reason of an invalid_argument from check, or nothing.
template <typename Check> std::optional<std::string> refusal_of(Check&& check)
{
    try {
        check();
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return std::nullopt;
}

std::optional<std::string> read_topic_prefix(std::string& prefix, std::string_view text)
{
    return refusal_of([&] { prefix = MqttTopics(std::string(text)).prefix(); });
}

std::optional<std::string> read_file_name(std::string& name, std::string_view text)
{
    if (text.empty())
        return "expects a file name";
    name = text;
    return std::nullopt;
}

// A whole number from 1 to max.
template <typename Number>
std::optional<std::string> read_positive(Number& number, std::string_view text, std::uint64_t max)
{
    const auto n = strict_number::whole(text, max);
    if (!n || *n == 0)
        return "expects a whole number of at least 1";
    number = static_cast<Number>(*n);
    return std::nullopt;
}

std::optional<std::uint8_t> byte_number(std::string_view text)
{
    const auto n = strict_number::whole(text, 255);
    return n ? std::optional<std::uint8_t>(static_cast<std::uint8_t>(*n)) : std::nullopt;
}

std::optional<std::string> read_until(WatchOptions& options, std::string_view text)
{
    const auto colon = text.find(':');
    if (colon == std::string_view::npos)
        return "expects MASK:VALUE";
    const auto mask = byte_number(text.substr(0, colon));
    const auto value = byte_number(text.substr(colon + 1));
    if (!mask || !value)
        return "expects MASK:VALUE, each a number from 0 to 255";
    if ((*value & ~*mask) != 0)
        return "VALUE has bits outside MASK, so it can never match";
    options.until = UntilCondition { *mask, *value };
    return std::nullopt;
}

std::optional<std::string> read_format(WatchOptions& options, std::string_view text)
{
    constexpr std::array<std::pair<std::string_view, RecordFormat>, 4> formats { {
        { "text", RecordFormat::Text },
        { "csv", RecordFormat::Csv },
        { "jsonl", RecordFormat::Jsonl },
        { "vcd", RecordFormat::Vcd },
    } };
    for (const auto& [name, format] : formats) {
        if (text == name) {
            options.format = format;
            return std::nullopt;
        }
    }
    return "expects text, csv, jsonl or vcd";
}

// In the order --help shows them; help and version have no reader: they end the parsing at
// once.
std::span<const Option> options_table()
{
    static const Option table[] = {
        { "port", 'p', "PORT",
            [](WatchOptions& o, std::string_view text) -> std::optional<std::string> {
                const auto n = strict_number::whole(text, 65535);
                if (!n)
                    return "expects a number from 0 to 65535 (decimal, 0x.., &H.. or &O..)";
                o.port = static_cast<std::int32_t>(*n);
                return std::nullopt;
            },
            {}, true, "port to read: decimal, 0x.., &H.. or &O..; 0-65535 (default 888)" },
        { "interval", 'i', "MS",
            [](WatchOptions& o, std::string_view text) -> std::optional<std::string> {
                const auto ns = strict_number::scaled_decimal(text, 1'000'000, max_interval_ns);
                // Below a nanosecond rounds to 0, which would read as fast as it can.
                const bool zero = text.find_first_of("123456789") == std::string_view::npos;
                if (!ns || (!zero && *ns < min_interval_ns))
                    return "expects 0 or a number of milliseconds from 0.01 to 2147483647";
                o.interval_ns = *ns;
                return std::nullopt;
            },
            {}, true,
            "milliseconds between reads, at least 0.01; 0 reads as fast as the\n"
            "driver answers (default 50)" },
        { "no-write", '\0', "",
            [](WatchOptions& o, std::string_view) -> std::optional<std::string> {
                o.write_255 = false;
                return std::nullopt;
            },
            {}, true, "do not write 255 to the port before each read" },
        { "format", 'f', "FORMAT", read_format, {}, true,
            "text, csv, jsonl or vcd (default text)" },
        { "output", 'o', "FILE",
            // "-": standard output, named (with --mqtt, too)
            [](WatchOptions& o, std::string_view text) { return read_file_name(o.output, text); },
            {}, true, "write the record to FILE (default standard output)" },
        { "count", 'n', "N",
            [](WatchOptions& o, std::string_view text) {
                return read_positive(o.count, text, UINT64_MAX);
            },
            {}, true, "stop after N records, the first included" },
        { "until", '\0', "MASK:VALUE", read_until, {}, true,
            "stop at the first record whose value v has (v & MASK) == VALUE" },
        { "timeout", 't', "SECONDS",
            [](WatchOptions& o, std::string_view text) -> std::optional<std::string> {
                const auto ns = strict_number::scaled_decimal(text, 1'000'000'000, max_timeout_ns);
                if (!ns || *ns == 0)
                    return "expects a number of seconds above 0 and up to 2147483647";
                o.timeout_ns = *ns;
                return std::nullopt;
            },
            {}, true, "give up after SECONDS with status 3" },
        { "debounce", '\0', "N",
            [](WatchOptions& o, std::string_view text) {
                return read_positive(o.debounce, text, UINT32_MAX);
            },
            {}, true, "a new value counts after N equal reads in a row (default 1)" },
        { "once", '\0', "",
            [](WatchOptions& o, std::string_view) -> std::optional<std::string> {
                o.count = 1;
                return std::nullopt;
            },
            {}, true, "one record, then exit" },
        { "stats", '\0', "",
            [](WatchOptions& o, std::string_view) -> std::optional<std::string> {
                o.stats = true;
                return std::nullopt;
            },
            {}, true, "at the end, a line of figures on standard error" },
        { "mqtt", '\0', "URL",
            [](WatchOptions& o, std::string_view text) {
                return refusal_of([&] { o.mqtt.broker = parse_mqtt_url(text); });
            },
            {}, false,
            "publish the record to an MQTT broker: mqtt://[USER@]HOST[:PORT]\n"
            "(port 1883) or mqtts://... (8883, TLS); without -o nothing goes\n"
            "to standard output" },
        { "mqtt-topic", '\0', "PREFIX",
            [](WatchOptions& o, std::string_view text) {
                return read_topic_prefix(o.mqtt.topic_prefix, text);
            },
            {}, true, "the topics' prefix (default movanta/HOSTNAME/PORT)" },
        { "mqtt-cafile", '\0', "FILE",
            [](WatchOptions& o, std::string_view text) {
                return read_file_name(o.mqtt.cafile, text);
            },
            {}, true, "the CA certificates for mqtts (default the system's)" },
        { "mqtt-password-file", '\0', "FILE",
            [](WatchOptions& o, std::string_view text) {
                return read_file_name(o.mqtt.password_file, text);
            },
            {}, true, "the broker password: the file's first line" },
        { "ha-discovery", '\0', "PREFIX",
            [](WatchOptions& o, std::string_view text) -> std::optional<std::string> {
                std::string prefix;
                auto problem = read_topic_prefix(prefix, text);
                if (!problem)
                    o.mqtt.ha_discovery = prefix;
                return problem;
            },
            "homeassistant", true,
            "announce the port to Home Assistant under PREFIX (default\n"
            "homeassistant)" },
        { "ha-remove", '\0', "",
            [](WatchOptions& o, std::string_view) -> std::optional<std::string> {
                o.mqtt.ha_remove = true;
                return std::nullopt;
            },
            {}, true,
            "remove what --ha-discovery with the same options announced\n"
            "(empty retained configs) and exit" },
        // A service's additions.
        { "counters", '\0', "FILE",
            [](WatchOptions& o, std::string_view text) {
                return read_file_name(o.counters_file, text);
            },
            {}, true,
            "keep the rising edges of each bit in FILE across runs" },
        { "rotate-size", '\0', "SIZE",
            [](WatchOptions& o, std::string_view text) -> std::optional<std::string> {
                const auto size = service_option_values::size(text);
                if (!size)
                    return "expects a whole number of bytes above 0, optionally with K, M or G";
                o.rotate_size = *size;
                return std::nullopt;
            },
            {}, true,
            "start a new file when one reaches SIZE bytes (suffix K, M, G)" },
        { "rotate-every", '\0', "DURATION",
            [](WatchOptions& o, std::string_view text) -> std::optional<std::string> {
                const auto seconds = service_option_values::duration_s(text);
                if (!seconds)
                    return "expects a whole number of seconds above 0, or with s, m, h or d";
                o.rotate_every_s = *seconds;
                return std::nullopt;
            },
            {}, true,
            "start a new file every DURATION (suffix s, m, h, d), on the\n"
            "hour or at local midnight; -o names the files (strftime fields)" },
        { "keep", '\0', "N",
            [](WatchOptions& o, std::string_view text) -> std::optional<std::string> {
                const auto n = strict_number::whole(text, UINT32_MAX);
                if (!n || *n == 0)
                    return "expects a whole number of at least 1";
                o.keep = *n;
                return std::nullopt;
            },
            {}, true,
            "with rotation: keep this run's newest N files, delete older ones" },
        { "exec", '\0', "COMMAND",
            [](WatchOptions& o, std::string_view text) -> std::optional<std::string> {
                if (text.empty())
                    return "expects a command";
                o.exec_command = text;
                return std::nullopt;
            },
            {}, true,
            "run COMMAND with /bin/sh -c for each record, in order, with the\n"
            "record in MOVANTA_* environment variables" },
        { "help", 'h', "", nullptr, {}, true, "show this help and exit" },
        { "version", '\0', "", nullptr, {}, true, "show the version and exit" },
    };
    return table;
}

// "  -p, --port PORT" as --help shows an option.
std::string help_label(const Option& option)
{
    std::string label = "  ";
    label += option.short_name != '\0' ? std::string { '-', option.short_name, ',', ' ' } : "    ";
    label.append("--").append(option.long_name);
    if (!option.default_argument.empty())
        label.append("[=").append(option.argument).append("]");
    else if (!option.argument.empty())
        label.append(" ").append(option.argument);
    return label;
}

// The usage line: the options with a letter and an argument, then the rest.
std::string usage_text()
{
    std::string usage = "usage: ";
    usage += program;
    for (const Option& option : options_table()) {
        if (option.short_name != '\0' && !option.argument.empty())
            usage.append(" [-").append(1, option.short_name).append(" ").append(option.argument)
                .append("]");
    }
    return usage + " [OPTION]...";
}

const std::string& usage_line()
{
    static const std::string line = usage_text();
    return line;
}

std::string help_text()
{
    std::string text = usage_line() + "\n";
    text += intro;
    for (const Option& option : options_table()) {
        std::string label = help_label(option);
        if (label.size() < help_column)
            label.resize(help_column, ' ');
        else
            label.append("\n").append(help_column, ' ');
        text += label;
        std::string_view lines = option.help;
        for (auto end = lines.find('\n'); end != std::string_view::npos; end = lines.find('\n')) {
            text.append(lines.substr(0, end)).append("\n").append(help_column, ' ');
            lines.remove_prefix(end + 1);
        }
        text.append(lines).append("\n");
    }
    return text += exit_status;
}

ParsedCommandLine refused(std::string_view reason)
{
    ParsedCommandLine result;
    result.status = 2;
    result.message.append(program).append(": ").append(reason).append("\n");
    result.message.append(usage_line()).append("\n");
    return result;
}

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// The long option that name is, or a unique abbreviation of, as GNU getopt_long allows.
const Option* find_long(std::string_view name, std::string& problem)
{
    for (const Option& option : options_table()) {
        if (option.long_name == name)
            return &option;
    }
    const Option* found = nullptr;
    for (const Option& option : options_table()) {
        if (!name.empty() && option.long_name.starts_with(name)) {
            if (found != nullptr) {
                problem = "option '--" + std::string(name) + "' is ambiguous";
                return nullptr;
            }
            found = &option;
        }
    }
    if (found == nullptr)
        problem = "unrecognized option '--" + std::string(name) + "'";
    return found;
}

const Option* find_short(char name)
{
    for (const Option& option : options_table()) {
        if (option.short_name == name)
            return &option;
    }
    return nullptr;
}

// Options that ask for different ends of one run.
std::optional<std::string> conflict_refusal(std::span<const std::string_view> given)
{
    constexpr std::pair<std::string_view, std::string_view> conflicts[] = {
        { "once", "count" },
        { "once", "until" },
    };
    const auto has = [given](std::string_view name) {
        return std::find(given.begin(), given.end(), name) != given.end();
    };
    for (const auto& [one, other] : conflicts) {
        if (has(one) && has(other))
            return "--" + std::string(one) + " and --" + std::string(other)
                + " cannot be used together";
    }
    // With --mqtt only -o writes a file: a format for nothing is a mistake.
    if (has("format") && has("mqtt") && !has("output"))
        return "--format with --mqtt needs --output FILE";
    return std::nullopt;
}

// Options that only mean something together with others.
std::optional<std::string> mqtt_refusal(const MqttOptions& mqtt)
{
    if (!mqtt.broker) {
        if (!mqtt.topic_prefix.empty() || !mqtt.cafile.empty() || !mqtt.password_file.empty()
            || mqtt.ha_discovery || mqtt.ha_remove)
            return "--mqtt-topic, --mqtt-cafile, --mqtt-password-file, --ha-discovery and "
                   "--ha-remove need --mqtt URL";
        return std::nullopt;
    }
    if (!mqtt.cafile.empty() && !mqtt.broker->tls)
        return "--mqtt-cafile needs an mqtts:// URL";
    if (!mqtt.password_file.empty() && mqtt.broker->user.empty())
        return "--mqtt-password-file needs a user in the URL (mqtt://USER@HOST)";
    return std::nullopt;
}

} // namespace

std::string_view watch_usage_line() { return usage_line(); }

ParsedCommandLine parse_watch_options(std::span<const std::string_view> arguments)
{
    WatchOptions options;
    std::vector<std::string_view> given; // long names
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const Option* option = nullptr;
        std::optional<std::string_view> value; // given in the same argument
        std::string shown; // the option as the user wrote it, for messages

        if (argument == "--") {
            if (i + 1 < arguments.size())
                return refused("unexpected argument " + quoted(arguments[i + 1]));
            break;
        }
        if (argument.starts_with("--")) {
            const std::string_view body = argument.substr(2);
            const auto equals = body.find('=');
            const std::string_view name = body.substr(0, equals);
            std::string problem;
            option = find_long(name, problem);
            if (option == nullptr)
                return refused(problem);
            shown = "--" + std::string(option->long_name);
            if (equals != std::string_view::npos) {
                if (option->argument.empty())
                    return refused("option '" + shown + "' doesn't allow an argument");
                value = body.substr(equals + 1);
            }
        } else if (argument.size() > 1 && argument[0] == '-') {
            option = find_short(argument[1]);
            if (option == nullptr)
                return refused("invalid option -- '" + std::string(1, argument[1]) + "'");
            shown = "-" + std::string(1, argument[1]);
            if (argument.size() > 2) {
                if (option->argument.empty())
                    return refused("option '" + shown + "' doesn't allow an argument");
                value = argument.substr(2);
            }
        } else {
            return refused("unexpected argument " + quoted(argument));
        }

        if (!option->apply) {
            ParsedCommandLine shown_text;
            if (option->long_name == "help")
                shown_text.message = help_text();
            else
                shown_text.message = std::string(program) + " " MOVANTA_DISPLAY_VERSION "\n";
            return shown_text;
        }
        if (!option->argument.empty() && !value && !option->default_argument.empty())
            value = option->default_argument;
        if (!option->argument.empty() && !value) {
            if (i + 1 >= arguments.size())
                return refused(
                    "option '" + shown + "' requires an argument " + std::string(option->argument));
            value = arguments[++i];
        }
        if (auto problem = option->apply(options, value.value_or(std::string_view())))
            return refused(
                shown + (option->shown ? " " + quoted(*value) : std::string()) + ": " + *problem);
        given.push_back(option->long_name);
    }
    if (auto problem = conflict_refusal(given))
        return refused(*problem);
    if (auto problem = mqtt_refusal(options.mqtt))
        return refused(*problem);
    if (auto problem = service_option_values::refusal(options))
        return refused(*problem);
    ParsedCommandLine result;
    result.run = std::move(options);
    return result;
}

} // namespace watch
