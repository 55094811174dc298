// SPDX-License-Identifier: MIT
// movanta-watch after its command line: the output opened, the sinks put together, the run,
// and what ends up on standard error and as the exit status.
#pragma once

namespace watch {

struct WatchOptions;

// The exit status: 0 done or stopped, 1 port, driver or output failed, 3 timeout.
// standard_output_closed: it was closed at the start (and is /dev/null now), so a record meant
// for it fails rather than vanishing.
[[nodiscard]] int run_watch_program(const WatchOptions& options, bool standard_output_closed);

} // namespace watch
