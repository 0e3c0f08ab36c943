#!/usr/bin/env bash
# Builds and tests everything: the host build against the stand-in registry
# (plain, with valgrind and the linters, and under the sanitizers), the
# 32-bit Windows exe with its PE checks and the Wine suites, and the exe's
# reproducibility.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure-packages.sh cmake make g++ libgtest-dev g++-mingw-w64-i686 \
    wine wine32:i386 wine64 valgrind clang-tidy cppcheck

cmake --workflow --preset host
cmake --workflow --preset host-asan
cmake --workflow --preset Release-Europe
bash scripts/check-reproducible.sh
