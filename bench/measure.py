#!/usr/bin/env python3
"""measure.py KESTRA32 REPLACE_BOUND FOLDER: times kestra32 on trees of 1, 16
and 128 MiB per file, made by make_tree.py in FOLDER/<MIB>/pristine when
missing, against the floor of copying the same three files with dd (read,
write, fsync), and checks the targets on the largest size. Exits 1 when a
target is missed.

It also times replace_bound's three ways of replacing the files safely with
almost no work of their own, which show how much of the time target any run
has left once it replaces its files the safe way.

Every timed step starts from a fresh copy of the pristine files, made and
synced to disk outside the timed part; each trial times every step once, in
turn, so that a slow minute of the machine falls on all of them alike.
"""

import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

SIZES = [1, 16, 128]
RUNS = 7
BOUNDS = ["read", "map", "map-walk"]
FILES = ["MSHDC.INF", "MACHINE.INF", "USB.INF"]
MIB = 1 << 20
MAX_TIME_RATIO = 1.5
MAX_GROWTH = 9.0
MAX_MEMORY_RATIO = 2.5


def restore(pristine, work):
    for name in FILES:
        shutil.copyfile(pristine / name, work / name)
    os.sync()


def time_kestra32(program, windows):
    env = {k: v for k, v in os.environ.items() if k not in ("KESTRA32_REGISTRY", "windir")}
    env["WINDIR"] = str(windows)
    start = time.perf_counter()
    process = subprocess.Popen([program], env=env)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit(f"kestra32 ended with status {process.returncode}")
    return elapsed, usage.ru_maxrss * 1024


def time_bound(bound, mode, work):
    start = time.perf_counter()
    subprocess.run([bound, mode] + [str(work / name) for name in FILES], check=True)
    return time.perf_counter() - start


def time_floor(work):
    start = time.perf_counter()
    for name in FILES:
        subprocess.run(["dd", f"if={work / name}", f"of={work / ('.' + name + '.copy')}",
                        "bs=1M", "conv=fsync", "status=none"], check=True)
    elapsed = time.perf_counter() - start
    for name in FILES:
        (work / ("." + name + ".copy")).unlink()
    return elapsed


def measure(program, bound, folder, mib):
    pristine = folder / "pristine" / "WINDOWS" / "INF"
    if not all((pristine / name).exists() for name in FILES):
        subprocess.run([sys.executable, Path(__file__).with_name("make_tree.py"),
                        folder / "pristine", str(mib)], check=True)
    windows = folder / "work" / "WINDOWS"
    work = windows / "INF"
    work.mkdir(parents=True, exist_ok=True)
    runs, floors, memory = [], [], []
    bounds = {mode: [] for mode in BOUNDS}
    for _ in range(RUNS):
        restore(pristine, work)
        elapsed, peak = time_kestra32(program, windows)
        runs.append(elapsed)
        memory.append(peak)
        restore(pristine, work)
        floors.append(time_floor(work))
        for mode in BOUNDS:
            restore(pristine, work)
            bounds[mode].append(time_bound(bound, mode, work))
    largest = max((pristine / name).stat().st_size for name in FILES)
    shutil.rmtree(folder / "work")
    result = {"run": statistics.median(runs), "floor": statistics.median(floors),
              "memory": max(memory), "largest": largest}
    result.update({mode: statistics.median(times) for mode, times in bounds.items()})
    return result


def main():
    program, bound, root = sys.argv[1], sys.argv[2], Path(sys.argv[3])
    print(f"{RUNS} runs each; times are medians, memory the highest peak resident size;")
    print("the last three columns are replace_bound's times in multiples of the floor")
    print(f"{'MiB/file':>8} {'run s':>8} {'floor s':>8} {'run/floor':>9} "
          f"{'peak MiB':>9} {'peak/file':>9} {'read':>6} {'map':>6} {'map-walk':>8}")
    results = {}
    for mib in SIZES:
        r = results[mib] = measure(program, bound, root / str(mib), mib)
        print(f"{mib:>8} {r['run']:>8.3f} {r['floor']:>8.3f} {r['run'] / r['floor']:>9.2f} "
              f"{r['memory'] / MIB:>9.1f} {r['memory'] / r['largest']:>9.2f} "
              f"{r['read'] / r['floor']:>6.2f} {r['map'] / r['floor']:>6.2f} "
              f"{r['map-walk'] / r['floor']:>8.2f}", flush=True)

    top, middle = results[SIZES[-1]], results[SIZES[-2]]
    checks = [("run/floor at 128 MiB", top["run"] / top["floor"], MAX_TIME_RATIO),
              ("run at 128 MiB / run at 16 MiB", top["run"] / middle["run"], MAX_GROWTH),
              ("peak memory / largest file at 128 MiB", top["memory"] / top["largest"],
               MAX_MEMORY_RATIO)]
    missed = False
    for name, value, limit in checks:
        verdict = "met" if value <= limit else "MISSED"
        missed |= value > limit
        print(f"{name}: {value:.2f} (target <= {limit}) {verdict}")
    sys.exit(1 if missed else 0)


if __name__ == "__main__":
    main()
