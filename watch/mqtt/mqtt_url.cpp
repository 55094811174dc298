// SPDX-License-Identifier: MIT
// Parsing of the broker's address.
#include "watch/mqtt_url.h"

#include <charconv>
#include <stdexcept>

namespace watch {

namespace {

// The URL with a password in it hidden: an error message lands in logs.
std::string shown(std::string_view text)
{
    std::string url(text);
    const auto scheme = url.find("://");
    const auto start = scheme == std::string::npos ? 0 : scheme + 3;
    // The last '@' of all: a password may hold '/', '?' or '#'.
    const auto at = url.rfind('@');
    if (at == std::string::npos || at < start)
        return url;
    const auto colon = url.find(':', start);
    if (colon < at)
        url.replace(colon + 1, at - colon - 1, "***");
    return url;
}

[[noreturn]] void refuse(std::string_view text, std::string_view why)
{
    throw std::invalid_argument("invalid MQTT URL '" + shown(text) + "': " + std::string(why));
}

int parse_port(std::string_view text, std::string_view digits)
{
    int port = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || port < 1
        || port > 65535)
        refuse(text, "the port must be a number from 1 to 65535");
    return port;
}

} // namespace

std::string mqtt_broker_text(const MqttUrl& url)
{
    const bool ipv6 = url.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + url.host + "]" : url.host) + ":" + std::to_string(url.port);
}

MqttUrl parse_mqtt_url(std::string_view text)
{
    MqttUrl url;
    std::string_view rest = text;
    if (rest.starts_with("mqtt://")) {
        rest.remove_prefix(7);
    } else if (rest.starts_with("mqtts://")) {
        rest.remove_prefix(8);
        url.tls = true;
        url.port = 8883;
    } else {
        refuse(text, "it must start with mqtt:// or mqtts://");
    }
    // A password first: it may hold a "/", "?" or "#" that would otherwise pass for a path.
    if (const auto at = rest.rfind('@');
        at != std::string_view::npos && rest.substr(0, at).find(':') != std::string_view::npos)
        refuse(text, "a password does not go in the URL; use --mqtt-password-file");
    if (rest.ends_with('/'))
        rest.remove_suffix(1);
    if (rest.find_first_of("/?#") != std::string_view::npos)
        refuse(text, "it has no path, query or fragment");

    if (const auto at = rest.rfind('@'); at != std::string_view::npos) {
        const std::string_view user = rest.substr(0, at);
        if (user.empty())
            refuse(text, "the user name before '@' is empty");
        url.user = user;
        rest.remove_prefix(at + 1);
    }

    std::string_view after; // ":PORT" or nothing
    if (rest.starts_with('[')) {
        const auto close = rest.find(']');
        if (close == std::string_view::npos)
            refuse(text, "an IPv6 address in brackets lacks its ']'");
        url.host = rest.substr(1, close - 1);
        after = rest.substr(close + 1);
    } else {
        const auto colon = rest.find(':');
        url.host = rest.substr(0, colon);
        if (colon != std::string_view::npos)
            after = rest.substr(colon);
    }
    if (!after.empty()) {
        if (!after.starts_with(':'))
            refuse(text, "only ':PORT' may follow the host");
        url.port = parse_port(text, after.substr(1));
    }
    if (url.host.empty())
        refuse(text, "the host is missing");
    return url;
}

} // namespace watch
