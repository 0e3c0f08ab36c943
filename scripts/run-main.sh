#!/usr/bin/env bash
# Builds both presets, then runs the host tool once over a stand-in registry
# seeded with the game's record, showing the record before and after.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure-packages.sh cmake make g++ libgtest-dev g++-mingw-w64-i686

cmake --workflow --preset host >/dev/null
cmake --workflow --preset Release-Europe >/dev/null
echo "Windows exe: build/Release-Europe/tool/remove_install_keys.exe"

registry=build/host/demo-registry.txt
game='SOFTWARE\Quorvane\Pallisor\Installed Games\vastrel\Kestry-2007'
{
    printf 'K\tM\t%s\n' "$game"
    printf 'V\tM\t%s\tInstallDir\tC:\\Games\\Kestry 2007\n' "$game"
    printf 'K\tM\t%s\n' "$game\\online_content"
    printf 'K\tM\t%s\n' "$game\\online_content\\Kestry_velloc_eu"
    printf 'K\tM\t%s\n' 'SOFTWARE\Quorvane\Pallisor\Installed Games\vastrel\Kestry-2005'
} >"$registry"

echo "--- stand-in registry before"
cat "$registry"
echo "--- tool output"
status=0
REGISTRY_STANDIN_FILE="$registry" build/host/tool/remove_install_keys "first" "two words" "" "100%s" || status=$?
echo "--- exit status: $status"
echo "--- stand-in registry after"
cat "$registry"
