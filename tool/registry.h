// The registry as the tool reaches it: RegDeleteKeyA and HKEY_LOCAL_MACHINE.
// Windows builds get the platform's own; other hosts get the stand-in.
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include "registry_standin.h"
#endif
