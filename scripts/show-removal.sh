#!/usr/bin/env bash
# The main job's Wine part, run by scripts/wine-run.sh in a fresh 64-bit
# prefix: writes the game's record the way the 32-bit installer does, runs
# the exe, and shows the record before, the echo, the exit status and what
# remains.  show-removal.sh EXE
set -euo pipefail
exe=$1

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
