#!/usr/bin/env bash
# The one way into Wine. Runs a Wine job (see wine-job.sh for its options)
# on this machine where it runs 32-bit x86 programs, and otherwise inside a
# throwaway qemu VM under software emulation that boots Debian's kernel on
# this machine's own root file system, so Wine and the build tree are the
# same in both.
#
#   wine-run.sh --probe          says which way Wine runs here; exit 0 native, 3 VM
#   wine-run.sh [--quiet] [JOB OPTIONS] -- COMMAND...   (--quiet: without the line saying which way)
#
# WINE_RUNNER=native|vm forces a way (default: the probe decides).
# WINE_VM_TIMEOUT is how long a VM job may take, in seconds (default 2400).
# The job's standard output and error come back as they are, and its exit
# status is the runner's; the runner's own lines go to standard error.
set -uo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
vm_dir=${WINE_VM_DIR:-$(dirname "$scripts")/build/wine-vm}

say() { echo "wine runner: $*" >&2; }

runs_i386_natively() {
    [ -x /lib/ld-linux.so.2 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# Native or vm, with the reason in $why.
choose_way() {
    why=''
    case ${WINE_RUNNER:-auto} in
    native) why='native (forced by WINE_RUNNER=native)'; way=native ;;
    vm) why='in a qemu VM under software emulation (forced by WINE_RUNNER=vm)'; way=vm ;;
    auto)
        if runs_i386_natively; then
            way=native why='native: this machine runs 32-bit x86 programs'
        else
            way=vm
            why='in a qemu VM under software emulation: this machine cannot run 32-bit x86 programs'
            why+=' (/lib/ld-linux.so.2 does not start); slower, a few minutes per prefix'
        fi
        ;;
    *) say "WINE_RUNNER must be native or vm, not ${WINE_RUNNER}"; exit 2 ;;
    esac
}

# --- the VM

kernel_version() {
    local version
    for version in $(ls /lib/modules 2>/dev/null | sort -rV); do
        [ -r "/boot/vmlinuz-$version" ] && { echo "$version"; return; }
    done
    return 1
}

vm_missing() {
    command -v qemu-system-x86_64 >/dev/null || echo "qemu-system-x86_64 (package qemu-system-x86)"
    kernel_version >/dev/null || echo "a Debian kernel in /boot (package linux-image-amd64)"
    dpkg-query -W -f='${Status}' busybox-static 2>/dev/null | grep -q 'install ok installed' ||
        echo "a static /bin/busybox (package busybox-static)"
    command -v cpio >/dev/null || echo "cpio (package cpio)"
}

# The initramfs: a static busybox as init and the kernel's modules for
# virtio, 9p (with netfs and fscache) and overlay. Made once per kernel and
# init script; parallel jobs wait for the one that makes it.
initramfs_for() {
    local version=$1 image
    image=$vm_dir/initramfs-$version-$(sha256sum "$scripts/wine-vm/init" | cut -c1-12).cpio
    mkdir -p "$vm_dir"
    (
        flock 9
        [ -s "$image" ] && exit 0
        local tree
        tree=$(mktemp -d "$vm_dir/initramfs.XXXXXX")
        mkdir -p "$tree"/{bin,modules,proc,sys,dev}
        cp /bin/busybox "$tree/bin/busybox"
        cp "$scripts/wine-vm/init" "$tree/init"
        chmod 755 "$tree/init"
        for module in virtio_pci 9pnet_virtio 9p overlay; do
            modprobe -S "$version" --show-depends "$module"
        done | awk '$1 == "insmod" && !seen[$2]++ { print $2 }' |
            while read -r module; do
                cp "$module" "$tree/modules/"
                basename "$module" >>"$tree/modules/order"
            done
        (cd "$tree" && find . | cpio --quiet -o -H newc) >"$image.tmp" && mv "$image.tmp" "$image"
        rm -rf "$tree"
    ) 9>"$vm_dir/lock"
    echo "$image"
}

run_in_vm() {
    local missing version initramfs job status
    missing=$(vm_missing)
    if [ -n "$missing" ]; then
        say "cannot run Wine: this machine cannot run 32-bit x86 programs, and the VM needs:"
        printf '  %s\n' "$missing" >&2
        say "install them with scripts/ensure-packages.sh (as root), or see the README"
        return 1
    fi
    version=$(kernel_version)
    initramfs=$(initramfs_for "$version") || { say "cannot make the VM's initramfs"; return 1; }

    mkdir -p "$vm_dir/jobs"
    job=$(mktemp -d "$vm_dir/jobs/job.XXXXXX")
    case $job in *[[:space:]]*) say "the job folder $job must not hold blanks"; return 1 ;; esac
    trap 'rm -rf "$job"' RETURN
    : >"$job/stdout"
    : >"$job/stderr"
    {
        echo '#!/bin/bash'
        export -p | grep -vE '^declare -x (PWD|OLDPWD|SHLVL|_)(=|$)'
        printf 'cd %q || exit 1\n' "$PWD"
        printf 'exec bash %q' "$scripts/wine-job.sh"
        printf ' %q' "$@"
        echo
    } >"$job/job.sh"

    local timeout=${WINE_VM_TIMEOUT:-2400}
    local memory=${WINE_VM_MEMORY:-3072}
    timeout -k 10 "$timeout" qemu-system-x86_64 \
        -machine pc,accel=tcg -cpu qemu64 -smp 1 -m "$memory" \
        -nodefaults -no-user-config -display none -no-reboot \
        -serial "file:$job/console.log" \
        -kernel "/boot/vmlinuz-$version" -initrd "$initramfs" \
        -append "console=ttyS0 quiet panic=-1 wine_job=$job" \
        -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
        -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
        -fsdev "local,id=job,path=$job,security_model=none" \
        -device virtio-9p-pci,fsdev=job,mount_tag=job \
        </dev/null >"$job/qemu.log" 2>&1 &
    local vm=$!
    # The job's output, as it comes.
    tail -c +1 -s 0.5 --pid=$vm -f "$job/stdout" &
    local out=$!
    tail -c +1 -s 0.5 --pid=$vm -f "$job/stderr" >&2 &
    local err=$!
    wait $vm
    status=$?
    wait $out $err

    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        say "the VM job did not end within $timeout s (WINE_VM_TIMEOUT) and was killed; its console ended:"
        tail -n 20 "$job/console.log" >&2
        return 124
    fi
    if [ ! -s "$job/status" ]; then
        say "the VM ended without the job's exit status (qemu exit $status); qemu and the console said:"
        tail -n 20 "$job/qemu.log" "$job/console.log" >&2
        return 1
    fi
    return "$(cat "$job/status")"
}

# --- entry

choose_way
if [ "${1:-}" = --probe ]; then
    echo "Wine runs $why"
    [ "$way" = native ] || exit 3
    exit 0
fi

if [ "${1:-}" = --quiet ]; then
    shift
else
    say "Wine runs $why"
fi
if [ "$way" = native ]; then
    exec bash "$scripts/wine-job.sh" "$@"
fi
run_in_vm "$@"
