#include <cstdio>

#include "install_keys.h"
#include "output.h"

// Echoes the command line, one argument per line, then removes the game's
// record; the exit status is the status of the game key's deletion.
int main(int argc, char* argv[], char* /*envp*/[])
{
    keep_running_when_output_fails();
    for (int index = 0; index < argc; ++index) {
        std::printf("%s\n", argv[index]);
    }
    return remove_install_keys();
}
