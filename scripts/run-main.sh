#!/usr/bin/env bash
# The main job: builds remove_install_keys.exe, writes the game's record into
# a throwaway 64-bit Wine prefix the way the 32-bit installer does, runs the
# exe there, and shows the record before, the echo, the exit status and what
# remains. Everything it makes stays under build/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure-packages.sh cmake make g++-mingw-w64-i686 wine wine32:i386 wine64
# Decided once: native, or the emulated VM (which needs its own packages).
way=native
bash scripts/wine-run.sh --probe || way=vm
if [ "$way" = vm ]; then
    echo "the main job takes about 3 minutes this way"
    bash scripts/ensure-packages.sh qemu-system-x86 linux-image-amd64 busybox-static cpio
fi

cmake --preset Release-Europe >/dev/null
cmake --build --preset Release-Europe --target remove_install_keys >/dev/null
exe=build/Release-Europe/tool/remove_install_keys.exe
echo "built $exe"

prefix=$PWD/build/main-job-prefix
echo "creating a 64-bit Wine prefix in $prefix"
WINE_RUNNER=$way bash scripts/wine-run.sh --quiet --prefix "$prefix" win64 -- bash scripts/show-removal.sh "$exe"
