// SPDX-License-Identifier: MIT
// The check of --mqtt-cafile at start: a file that can never verify a broker is refused at
// once, not after a connect timeout as "A TLS error occurred."
#pragma once

#include <optional>
#include <string>

namespace watch {

// Why path is no CA file (not a regular file we may read, or one without a PEM certificate
// OpenSSL can parse), as a line that names it; nothing when it will do.
[[nodiscard]] std::optional<std::string> mqtt_cafile_problem(const std::string& path);

} // namespace watch
