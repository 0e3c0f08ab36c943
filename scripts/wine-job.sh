#!/usr/bin/env bash
# One Wine job, run by scripts/wine-run.sh here or inside its VM:
#   wine-job.sh [--prefix DIR win32|win64] [--cpu N] -- COMMAND...
# With --prefix, COMMAND runs in a throwaway prefix of that kind, created
# first and removed afterwards. With --cpu, COMMAND and the wineserver it
# starts are pinned to that core, where the machine has it. The exit status
# is COMMAND's.
set -uo pipefail

prefix='' arch='' cpu=''
while [ $# -gt 0 ]; do
    case $1 in
    --prefix) prefix=$2 arch=$3; shift 3 ;;
    --cpu) cpu=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "wine-job.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
[ $# -gt 0 ] || { echo "wine-job.sh: no command" >&2; exit 2; }

export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ -n "$prefix" ]; then
    export WINEPREFIX=$prefix WINEARCH=$arch
    cleanup() { wineserver --kill 2>/dev/null; rm -rf "$WINEPREFIX"; }
    trap cleanup EXIT
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    if ! boot_log=$({ wineboot --init && wineserver --wait; } 2>&1); then
        printf '%s\n' "$boot_log" >&2
        echo "wine-job.sh: cannot create the $arch prefix in $WINEPREFIX" >&2
        exit 1
    fi
fi

pin=()
if [ -n "$cpu" ] && taskset -c "$cpu" true 2>/dev/null; then
    pin=(taskset -c "$cpu")
fi
"${pin[@]}" "$@"
