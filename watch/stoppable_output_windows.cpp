// SPDX-License-Identifier: MIT
// The output on Windows: a console or pipe write is not waited on with an eye on the stop; a
// stop that comes meanwhile is taken after it.
#include "watch/stoppable_output.h"

using namespace core;

namespace watch {

StoppableOutput::StoppableOutput(RecordOutput& inner, int fd, int stop_fd) noexcept
    : inner_(inner)
    , fd_(fd)
    , stop_fd_(stop_fd)
    , may_block_(false)
{
}

void StoppableOutput::flush() { inner_.flush(); }

} // namespace watch
