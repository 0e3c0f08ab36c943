#!/usr/bin/env bash
# The main job: builds remove_install_keys.exe, writes the game's record into
# a throwaway 64-bit Wine prefix the way the 32-bit installer does, runs the
# exe there, and shows the record before, the echo, the exit status and what
# remains. Everything it makes stays under build/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure-packages.sh cmake make g++-mingw-w64-i686 wine wine32:i386 wine64

cmake --preset Release-Europe >/dev/null
cmake --build --preset Release-Europe --target remove_install_keys >/dev/null
exe=build/Release-Europe/tool/remove_install_keys.exe
echo "built $exe"

export WINEPREFIX=$PWD/build/main-job-prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver --kill 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
rm -rf "$WINEPREFIX"
echo "creating a 64-bit Wine prefix in $WINEPREFIX"
wineboot --init 2>/dev/null && wineserver --wait

vastrel='HKLM\SOFTWARE\Quorvane\Pallisor\Installed Games\vastrel'
game="$vastrel\\Kestry-2007"
installer_writes() { wine reg add "$@" /f /reg:32 >/dev/null; }
installer_writes "$game" /v InstallDir /d 'C:\Games\Kestry 2007'
installer_writes "$game" /v Version /d 1.0.3
installer_writes "$game\\online_content" /v Count /d 1
installer_writes "$game\\online_content\\Kestry_velloc_eu" /v Name /d Velloc
installer_writes "$vastrel\\Kestry-2005" /v InstallDir /d 'C:\Games\Kestry 2005'

show_record() { wine reg query "$vastrel" /s /reg:32 | tr -d '\r' | sed '/^$/d'; }

echo "--- the record before (32-bit view)"
show_record
echo "--- remove_install_keys.exe /uninstall \"two words\" \"\" %s"
set +e
wine "$exe" /uninstall "two words" "" "%s" | tr -d '\r'
status=${PIPESTATUS[0]}
set -e
echo "--- exit status: $status"
echo "--- what remains (32-bit view)"
show_record
