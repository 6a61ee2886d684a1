#!/usr/bin/env python3
"""measure.py KESTRA32 FOLDER: times kestra32 on trees of 1, 16 and 128 MiB
per file, made by make_tree.py in FOLDER/<MIB>/pristine when missing, against
the floor of copying the same three files with dd (read, write, fsync), and
checks the targets on the largest size. Exits 1 when a target is missed.

Every timed step starts from a fresh copy of the pristine files, made and
synced to disk outside the timed part.
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


def time_floor(work):
    start = time.perf_counter()
    for name in FILES:
        subprocess.run(["dd", f"if={work / name}", f"of={work / ('.' + name + '.copy')}",
                        "bs=1M", "conv=fsync", "status=none"], check=True)
    elapsed = time.perf_counter() - start
    for name in FILES:
        (work / ("." + name + ".copy")).unlink()
    return elapsed


def measure(program, folder, mib):
    pristine = folder / "pristine" / "WINDOWS" / "INF"
    if not all((pristine / name).exists() for name in FILES):
        subprocess.run([sys.executable, Path(__file__).with_name("make_tree.py"),
                        folder / "pristine", str(mib)], check=True)
    windows = folder / "work" / "WINDOWS"
    work = windows / "INF"
    work.mkdir(parents=True, exist_ok=True)
    runs, floors, memory = [], [], []
    for _ in range(RUNS):
        restore(pristine, work)
        elapsed, peak = time_kestra32(program, windows)
        runs.append(elapsed)
        memory.append(peak)
        restore(pristine, work)
        floors.append(time_floor(work))
    largest = max((pristine / name).stat().st_size for name in FILES)
    shutil.rmtree(folder / "work")
    return {"run": statistics.median(runs), "floor": statistics.median(floors),
            "memory": max(memory), "largest": largest}


def main():
    program, root = sys.argv[1], Path(sys.argv[2])
    print(f"{RUNS} runs each; times are medians, memory the highest peak resident size")
    print(f"{'MiB/file':>8} {'run s':>8} {'floor s':>8} {'run/floor':>9} "
          f"{'peak MiB':>9} {'peak/file':>9}")
    results = {}
    for mib in SIZES:
        r = results[mib] = measure(program, root / str(mib), mib)
        print(f"{mib:>8} {r['run']:>8.3f} {r['floor']:>8.3f} {r['run'] / r['floor']:>9.2f} "
              f"{r['memory'] / MIB:>9.1f} {r['memory'] / r['largest']:>9.2f}", flush=True)

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
