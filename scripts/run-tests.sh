#!/usr/bin/env bash
# Builds and tests everything: the host build against the stand-in registry
# (plain, with valgrind and the linters, and under the sanitizers), the
# 32-bit Windows exe with its PE checks, the Wine suites and the example
# NSIS installer, and the exe's reproducibility. Wine runs natively where
# the machine runs 32-bit x86 programs, and in an emulated VM where not;
# the VM's packages are needed on every machine, for the VM smoke test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure-packages.sh cmake make g++ libgtest-dev g++-mingw-w64-i686 \
    wine wine32:i386 wine64 valgrind clang-tidy cppcheck nsis \
    qemu-system-x86 linux-image-amd64 busybox-static cpio

cmake --workflow --preset host
cmake --workflow --preset host-asan
cmake --workflow --preset Release-Europe
bash scripts/check-reproducible.sh
