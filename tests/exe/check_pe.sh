#!/usr/bin/env bash
# Checks the shipped exe's PE headers and resources:
#   check_pe.sh OBJDUMP EXE VERSION     (VERSION as a.b.c.d)
set -uo pipefail
objdump=$1 exe=$2 version=$3
headers=$("$objdump" -p "$exe") || { echo "cannot read $exe"; exit 1; }
failures=0
passes=0

check() {
    local what=$1
    shift
    if "$@"; then
        echo "[ PASS ] $what"
        passes=$((passes + 1))
    else
        echo "[ FAIL ] $what"
        failures=$((failures + 1))
    fi
}

field() { awk -v name="$1" '$1 == name { print $2; exit }' <<<"$headers"; }

# DLL names, and the functions imported from one of them.
imported_dlls() { awk '/DLL Name:/ { print $3 }' <<<"$headers" | sort | tr '\n' ' '; }
imports_from() {
    awk -v dll="$1" '
        /DLL Name:/ { inside = ($3 == dll); next }
        inside && /^\t[0-9a-f]+\t/ { print $3 }
        inside && /^$/ { inside = 0 }' <<<"$headers" | sort | tr '\n' ' '
}

subsystem_version_at_most_5_1() {
    local major minor
    major=$(field MajorSubsystemVersion) minor=$(field MinorSubsystemVersion)
    [ -n "$major" ] && { [ "$major" -lt 5 ] || { [ "$major" -eq 5 ] && [ "$minor" -le 1 ]; }; }
}

dll_characteristic() { sed -n '/^DllCharacteristics/,/^[A-Z]/p' <<<"$headers" | grep -qw "$1"; }

manifest_resource() { grep -q 'Entry: ID: 0x000018' <<<"$headers"; }
manifest_says() { grep -aq "$1" "$exe"; }

# The version resource: its fixed part (as installers compare it) and its texts.
version_resource() { grep -q 'Entry: ID: 0x000010' <<<"$headers"; }
fixed_file_version() {
    local at
    at=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$exe" | head -1 | cut -d: -f1)
    [ -n "$at" ] || return
    # dwFileVersionMS and LS, as little-endian 16-bit halves: minor, major, fourth, third.
    od -An -tu2 -j $((at + 8)) -N 8 "$exe" | awk '{ print $2 "." $1 "." $4 "." $3 }'
}
version_text() { strings -el "$exe" | grep -A1 -x "$1" | sed -n 2p; }

check "PE32 for i386" grep -q 'file format pei-i386' <<<"$headers"
check "console subsystem" test "$(field Subsystem)" = 00000003
check "subsystem version no higher than 5.1 ($(field MajorSubsystemVersion).$(field MinorSubsystemVersion))" \
    subsystem_version_at_most_5_1
check "DYNAMIC_BASE" dll_characteristic DYNAMIC_BASE
check "NX_COMPAT" dll_characteristic NX_COMPAT
check "imports exactly ADVAPI32, KERNEL32, msvcrt (got: $(imported_dlls))" \
    test "$(imported_dlls)" = "ADVAPI32.dll KERNEL32.dll msvcrt.dll "
check "imports only RegDeleteKeyA from ADVAPI32 (got: $(imports_from ADVAPI32.dll))" \
    test "$(imports_from ADVAPI32.dll)" = "RegDeleteKeyA "
check "manifest resource (type 24)" manifest_resource
check "manifest asks for asInvoker" manifest_says 'requestedExecutionLevel level="asInvoker"'
check "manifest names Windows 10/11" manifest_says '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a'

check "version resource (type 16)" version_resource
check "fixed file version $version (got: $(fixed_file_version))" test "$(fixed_file_version)" = "$version"
for name in FileVersion ProductVersion; do
    check "$name $version (got: $(version_text $name))" test "$(version_text $name)" = "$version"
done
check "OriginalFilename remove_install_keys.exe" test "$(version_text OriginalFilename)" = remove_install_keys.exe
check "FileDescription and ProductName present" \
    test -n "$(version_text FileDescription)" -a -n "$(version_text ProductName)"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
