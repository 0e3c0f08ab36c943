// Standard output for the echo. A write that fails (output closed, full, or
// its reader gone) must not end the process: the removal still has to run.
#pragma once

void keep_running_when_output_fails();
