#!/usr/bin/env bash
# One run of the host exe under valgrind over a seeded stand-in registry:
# valgrind_run.sh VALGRIND EXE SCRATCH_DIR. Passes when valgrind finds no
# error or leak and the tool removed the record (exit status 0).
set -euo pipefail
valgrind=$1 exe=$2 scratch=$3
registry=$scratch/valgrind-registry.txt
mkdir -p "$scratch"
game='SOFTWARE\Quorvane\Pallisor\Installed Games\vastrel\Kestry-2007'
printf 'K\tM\t%s\nV\tM\t%s\tInstallDir\tC:\\Games\nK\tM\t%s\nK\tM\t%s\n' \
    "$game" "$game" "$game\\online_content" "$game\\online_content\\Kestry_velloc_eu" >"$registry"

status=0
REGISTRY_STANDIN_FILE=$registry "$valgrind" --quiet --error-exitcode=1 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect "$exe" first "two words" "" "%s%n" >/dev/null || status=$?
echo "exit status under valgrind: $status"
if grep -q 'Kestry-2007' "$registry"; then
    echo "the record is still in the registry:"
    cat "$registry"
    exit 1
fi
[ "$status" -eq 0 ]
