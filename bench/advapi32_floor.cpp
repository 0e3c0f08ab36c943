// A second floor: the empty program, plus the one registry import the tool
// needs, so the loader maps ADVAPI32.dll as it does for the tool. The call
// is never made.
#include <windows.h>

int main(int argc, char* /*argv*/[])
{
    if (argc < 0) {
        return static_cast<int>(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "never"));
    }
    return 0;
}
