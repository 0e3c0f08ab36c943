#!/usr/bin/env python3
"""Measures remove_install_keys against its floor and its alternative.

Run by hand, not by CI:  python3 bench/run.py [--runs N] [--host-runs N]

Under Wine (a 64-bit prefix, as most users have), side by side and
interleaved run by run:
  - the tool, over the game's record freshly written before each run;
  - an empty program built with the same toolchain, flags and manifest
    (the floor: process start alone);
  - the same empty program importing RegDeleteKeyA without calling it (the
    floor with ADVAPI32.dll loaded, as the tool must have it);
  - three `reg delete` calls, what an administrator would script instead.
On the host: the host build against an empty host program.

For each it prints the median and the interquartile range of wall time,
CPU time (the process and its children, plus what the prefix's wineserver
spent meanwhile) and peak resident memory, and the size of each program.

Everything runs pinned to one core (client, wineserver and all), which keeps
the spread small: across cores each registry round trip waits for a wake-up.
Pass --no-pin to measure without.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build"

VASTREL = r"HKLM\SOFTWARE\Quorvane\Pallisor\Installed Games\vastrel"
GAME = VASTREL + r"\Kestry-2007"
KEYS_INNERMOST_FIRST = [GAME + r"\online_content\Kestry_velloc_eu", GAME + r"\online_content", GAME]

RECORD_REG = "\r\n".join([
    "Windows Registry Editor Version 5.00",
    "",
    "[" + GAME + "]",
    '"InstallDir"="C:\\\\Games\\\\Kestry 2007"',
    '"Version"="1.0.3"',
    "",
    "[" + GAME + r"\online_content" + "]",
    '"Count"="1"',
    "",
    "[" + GAME + r"\online_content\Kestry_velloc_eu" + "]",
    '"Name"="Velloc"',
    "",
]).replace("HKLM", "HKEY_LOCAL_MACHINE")


def run(command, **kwargs):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, **kwargs)


def build(preset, directory, targets):
    run(["cmake", "--preset", preset, "-B", str(directory), "-DBUILD_BENCHMARKS=ON", "-DBUILD_TESTING=OFF"],
        cwd=ROOT)
    run(["cmake", "--build", str(directory), "--target", *targets], cwd=ROOT)


def process_cpu_seconds(pid):
    """CPU seconds a running process has used so far; 0 without one."""
    if pid is None:
        return 0.0
    # schedstat counts nanoseconds on the CPU; stat's ticks are too coarse.
    return int(Path("/proc", str(pid), "schedstat").read_text().split()[0]) / 1e9


def measure(command, env, server_pid=None):
    """One run: wall seconds, CPU seconds (with the server's share), peak
    RSS in KiB, exit status. The peak comes from GNU time, which forks the
    program from its own small image: a child forked from this interpreter
    would report the interpreter's size as its peak."""
    with tempfile.NamedTemporaryFile(mode="r") as peak_file:
        server_before = process_cpu_seconds(server_pid)
        start = time.perf_counter()
        process = subprocess.Popen(["/usr/bin/time", "-q", "-f", "%M", "-o", peak_file.name] + command, env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(process.pid, 0)
        wall = time.perf_counter() - start
        process.returncode = os.waitstatus_to_exitcode(status)
        server = process_cpu_seconds(server_pid) - server_before
        peak = int(peak_file.read().split()[-1])
    return wall, usage.ru_utime + usage.ru_stime + server, peak, process.returncode


def quartiles(values):
    q1, median, q3 = statistics.quantiles(values, n=4, method="inclusive")
    return median, q1, q3


def benchmark(variants, runs, env, before_each=None, server_pid=None):
    """Runs every variant once per round, in rotating order."""
    samples = {name: [] for name, _ in variants}
    statuses = {name: set() for name, _ in variants}
    for round_number in range(runs):
        shift = round_number % len(variants)
        for name, command in variants[shift:] + variants[:shift]:
            if before_each:
                before_each()
            wall, cpu, rss, status = measure(command, env, server_pid)
            samples[name].append((wall, cpu, rss))
            statuses[name].add(status)
    return samples, statuses


def table(title, samples, statuses, sizes, floor):
    floor_wall = quartiles([s[0] for s in samples[floor]])[0]
    lines = [f"#### {title}", "",
             "| program | wall ms, median (IQR) | × floor | CPU ms, median (IQR) | peak RSS KiB, median | size bytes | exit |",
             "|---|---|---|---|---|---|---|"]
    for name, runs in samples.items():
        wall = quartiles([s[0] * 1000 for s in runs])
        cpu = quartiles([s[1] * 1000 for s in runs])
        rss = statistics.median(s[2] for s in runs)
        size = f"{sizes[name]:,}" if name in sizes else "–"
        exits = ",".join(str(s) for s in sorted(statuses[name]))
        lines.append(f"| {name} | {wall[0]:.1f} ({wall[1]:.1f}–{wall[2]:.1f}) | {wall[0] / (floor_wall * 1000):.2f} "
                     f"| {cpu[0]:.1f} ({cpu[1]:.1f}–{cpu[2]:.1f}) | {rss:,.0f} | {size} | {exits} |")
    return "\n".join(lines)


def refuse_under_emulation():
    """Times only Wine that runs natively: under the runner's emulated VM the
    figures would measure the emulator, not the tool."""
    probe = subprocess.run(["bash", str(ROOT / "scripts" / "wine-run.sh"), "--probe"], capture_output=True, text=True)
    if probe.returncode != 0:
        sys.exit("bench: refusing to measure. " + probe.stdout.strip() + ". Timings taken under software "
                 "emulation would measure the emulator, not the tool: run the benchmark on a machine that runs "
                 "32-bit x86 programs natively.")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=30, help="rounds under Wine (default 30)")
    parser.add_argument("--host-runs", type=int, default=300, help="rounds on the host (default 300)")
    parser.add_argument("--no-pin", action="store_true", help="let the processes run on any core")
    args = parser.parse_args()
    if not args.no_pin:
        os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})
    for program in ("cmake", "wine", "wineboot", "wineserver", "/usr/bin/time"):
        if not shutil.which(program):
            sys.exit(f"{program} is missing: run scripts/run-tests.sh as root, and install Debian's time")
    refuse_under_emulation()

    windows_dir = BUILD / "bench-windows"
    host_dir = BUILD / "bench-host"
    print("building...", file=sys.stderr)
    build("Release-Europe", windows_dir, ["remove_install_keys", "empty_program", "advapi32_floor"])
    build("host", host_dir, ["remove_install_keys", "empty_program"])
    tool_exe = windows_dir / "tool" / "remove_install_keys.exe"
    empty_exe = windows_dir / "bench" / "empty_program.exe"
    advapi32_exe = windows_dir / "bench" / "advapi32_floor.exe"
    host_tool = host_dir / "tool" / "remove_install_keys"
    host_empty = host_dir / "bench" / "empty_program"

    prefix = BUILD / "bench-prefix"
    shutil.rmtree(prefix, ignore_errors=True)
    env = dict(os.environ, WINEPREFIX=str(prefix), WINEARCH="win64", WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    reg_file = Path(tempfile.mkdtemp()) / "record.reg"
    server = None
    try:
        print("creating a 64-bit Wine prefix...", file=sys.stderr)
        run(["wineboot", "--init"], env=env, stderr=subprocess.DEVNULL)
        run(["wineserver", "--wait"], env=env)
        # One server for the whole measurement, as on a running Windows; in
        # the foreground, so its CPU time can be read off its pid.
        server = subprocess.Popen(["wineserver", "--foreground", "--persistent"], env=env)
        time.sleep(1)
        reg_file.write_text(RECORD_REG, encoding="utf-16")

        def install_record():
            run(["wine", "reg", "import", str(reg_file), "/reg:32"], env=env, stderr=subprocess.DEVNULL)

        reg_script = " && ".join(f'wine reg delete "{key}" /f /reg:32' for key in KEYS_INNERMOST_FIRST)
        variants = [
            ("remove_install_keys.exe", ["wine", str(tool_exe), "/uninstall"]),
            ("empty program (floor)", ["wine", str(empty_exe), "/uninstall"]),
            ("empty program + ADVAPI32 import", ["wine", str(advapi32_exe), "/uninstall"]),
            ("3 × reg delete", ["sh", "-c", reg_script]),
        ]
        for _ in range(2):  # warm the caches
            install_record()
            measure(variants[0][1], env, server.pid)
        print(f"measuring under Wine: {args.runs} rounds...", file=sys.stderr)
        wine_samples, wine_statuses = benchmark(variants, args.runs, env, install_record, server.pid)
    finally:
        subprocess.run(["wineserver", "--kill"], env=env, stderr=subprocess.DEVNULL)
        if server:
            server.wait()
        shutil.rmtree(prefix, ignore_errors=True)
        shutil.rmtree(reg_file.parent, ignore_errors=True)

    print(f"measuring on the host: {args.host_runs} rounds...", file=sys.stderr)
    host_env = {k: v for k, v in os.environ.items() if k != "REGISTRY_STANDIN_FILE"}
    host_samples, host_statuses = benchmark(
        [("remove_install_keys (host)", [str(host_tool), "/uninstall"]),
         ("empty program (host floor)", [str(host_empty), "/uninstall"])], args.host_runs, host_env)

    sizes = {"remove_install_keys.exe": tool_exe.stat().st_size, "empty program (floor)": empty_exe.stat().st_size,
             "empty program + ADVAPI32 import": advapi32_exe.stat().st_size,
             "remove_install_keys (host)": host_tool.stat().st_size,
             "empty program (host floor)": host_empty.stat().st_size}
    pinning = "all on one core" if not args.no_pin else "on any core"
    print(table(f"Under Wine, 64-bit prefix, {args.runs} rounds, {pinning}", wine_samples, wine_statuses, sizes,
                "empty program (floor)"))
    print()
    print(table(f"Host build (stand-in registry, in memory), {args.host_runs} rounds, {pinning}", host_samples,
                host_statuses, sizes, "empty program (host floor)"))

    tool_wall = statistics.median(s[0] for s in wine_samples["remove_install_keys.exe"])
    floor_wall = statistics.median(s[0] for s in wine_samples["empty program (floor)"])
    advapi32_wall = statistics.median(s[0] for s in wine_samples["empty program + ADVAPI32 import"])
    script_wall = statistics.median(s[0] for s in wine_samples["3 × reg delete"])
    print()
    print(f"tool / floor under Wine: {tool_wall / floor_wall:.3f} (target 1.10 or less: "
          f"{'met' if tool_wall / floor_wall <= 1.10 else 'missed'}); "
          f"tool / floor with ADVAPI32: {tool_wall / advapi32_wall:.3f}; "
          f"reg delete script / tool: {script_wall / tool_wall:.1f}×")


if __name__ == "__main__":
    main()
