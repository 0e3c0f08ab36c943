#!/usr/bin/env bash
# Builds and tests everything: the host build against the stand-in registry,
# and the 32-bit Windows exe.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure-packages.sh cmake make g++ libgtest-dev g++-mingw-w64-i686 wine wine32:i386 wine64

cmake --workflow --preset host
cmake --workflow --preset Release-Europe
