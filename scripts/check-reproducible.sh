#!/usr/bin/env bash
# Builds the Release-Europe exe twice, from scratch, in two different build
# directories, and fails unless both are byte for byte the same.
set -euo pipefail
cd "$(dirname "$0")/.."

digests=()
for dir in build/reproducible-a build/reproducible-elsewhere/b; do
    rm -rf "$dir"
    cmake --preset Release-Europe -B "$dir" -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$dir" --target remove_install_keys >/dev/null
    digest=$(sha256sum "$dir/tool/remove_install_keys.exe" | cut -d' ' -f1)
    echo "$digest  $dir/tool/remove_install_keys.exe"
    digests+=("$digest")
done
rm -rf build/reproducible-a build/reproducible-elsewhere

if [ "${digests[0]}" != "${digests[1]}" ]; then
    echo "not reproducible: two builds of the same sources differ" >&2
    exit 1
fi
echo "reproducible: both builds give ${digests[0]}"
