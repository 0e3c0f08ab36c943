#include "output.h"

#include <csignal>

// A write to a pipe whose reader has gone raises SIGPIPE, which would end the
// process before the removal; ignored, the write just fails.
void keep_running_when_output_fails()
{
    static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
}
