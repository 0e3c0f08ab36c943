#!/usr/bin/env bash
# Creates or removes a throwaway Wine prefix: wine_prefix.sh create|remove DIR win32|win64
set -euo pipefail
action=$1 prefix=$2 arch=$3
export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

case $action in
create)
    rm -rf "$prefix"
    wineboot --init
    wineserver --wait
    ;;
remove)
    wineserver --kill 2>/dev/null || true
    rm -rf "$prefix"
    ;;
*)
    echo "usage: $0 create|remove DIR win32|win64" >&2
    exit 2
    ;;
esac
