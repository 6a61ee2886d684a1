#!/usr/bin/env python3
"""measure.py KESTRA32 REPLACE_BOUND FOLDER: times kestra32 on trees of 0.1, 16
and 128 MiB per file, made by make_tree.py in FOLDER/<MIB>/pristine when
missing, against two other ways of rewriting the same three files:

- replace_bound read: read each file and replace it safely, doing nothing else
  (bench/replace_bound.cpp), the least any safe rewrite costs;
- sed -i inserting one line after one header in each file, followed by a sync
  of the three files and their folder: the tool a user would reach for.

Each repetition times the three steps once, in an order that rotates from one
repetition to the next. Every step starts from fresh copies of the pristine
files, synced to disk, with the page cache dropped when this process may. The
figures are medians of the per-repetition ratios, so that a slow minute of the
machine falls on both sides of a ratio. Exits 1 when a target is missed.
"""

import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

SIZES = ["0.1", "16", "128"]
REPETITIONS = 9
FILES = ["MSHDC.INF", "MACHINE.INF", "USB.INF"]
MIB = 1 << 20
# Per size: the largest run / replace_bound and run / sed ratios allowed.
MAX_BOUND_RATIO = {"0.1": 1.3, "16": 1.1, "128": 1.3}
MAX_SED_RATIO = 1.0  # strictly below
MAX_GROWTH = 9.0
MAX_MEMORY_RATIO = 1.3
SED_SCRIPT = r'/^\[Strings\]/a Intel.Mfg="Intel"'


def drop_caches():
    """True when the page cache could be dropped."""
    try:
        with open("/proc/sys/vm/drop_caches", "w") as control:
            control.write("3\n")
        return True
    except OSError:
        return False


def restore(pristine, work):
    for name in FILES:
        shutil.copyfile(pristine / name, work / name)
    os.sync()
    return drop_caches()


def timed(command, env=None):
    start = time.perf_counter()
    process = subprocess.Popen(command, env=env)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{command[0]} ended with status {os.waitstatus_to_exitcode(status)}")
    return elapsed, usage.ru_maxrss * 1024


def step_run(program, work):
    env = {k: v for k, v in os.environ.items() if k not in ("KESTRA32_REGISTRY", "windir")}
    env["WINDIR"] = str(work.parent)
    return timed([program], env)


def step_bound(bound, work):
    return timed([bound, "read"] + [str(work / name) for name in FILES])


def step_sed(work):
    paths = [str(work / name) for name in FILES]
    sed, _ = timed(["sed", "-i", SED_SCRIPT] + paths)
    sync, _ = timed(["sync"] + paths + [str(work)])
    return sed + sync, 0


def measure(program, bound, folder, mib):
    pristine = folder / "pristine" / "WINDOWS" / "INF"
    if not all((pristine / name).exists() for name in FILES):
        subprocess.run([sys.executable, Path(__file__).with_name("make_tree.py"),
                        folder / "pristine", mib], check=True)
    work = folder / "work" / "WINDOWS" / "INF"
    work.mkdir(parents=True, exist_ok=True)
    steps = {"run": lambda: step_run(program, work), "bound": lambda: step_bound(bound, work),
             "sed": lambda: step_sed(work)}
    names = list(steps)
    times = {name: [] for name in names}
    memory, dropped = [], True
    load_before = os.getloadavg()[0]
    for repetition in range(REPETITIONS):
        shift = repetition % len(names)
        for name in names[shift:] + names[:shift]:
            dropped &= restore(pristine, work)
            elapsed, peak = steps[name]()
            times[name].append(elapsed)
            if name == "run":
                memory.append(peak)
    shutil.rmtree(folder / "work")
    largest = max((pristine / name).stat().st_size for name in FILES)
    ratios = {other: [r / o for r, o in zip(times["run"], times[other])]
              for other in ("bound", "sed")}
    return {"times": {name: statistics.median(t) for name, t in times.items()},
            "ratios": ratios, "memory": max(memory) / largest, "peak": max(memory),
            "load": (load_before, os.getloadavg()[0]), "dropped": dropped}


def spread(values):
    return f"{min(values):.2f}-{max(values):.2f}"


def main():
    program, bound, root = sys.argv[1], sys.argv[2], Path(sys.argv[3])
    print(f"{REPETITIONS} repetitions per size; times are medians, ratios medians of the "
          "per-repetition ratios with their spread (lowest-highest)")
    print(f"{'MiB/file':>8} {'run s':>8} {'bound s':>8} {'sed s':>8} {'run/bound':>9} "
          f"{'spread':>11} {'run/sed':>8} {'spread':>11} {'peak MiB':>9} {'peak/file':>9} "
          f"{'load avg':>11} {'cache':>8}")
    results = {}
    for mib in SIZES:
        r = results[mib] = measure(program, bound, root / mib, mib)
        t, ratios = r["times"], r["ratios"]
        print(f"{mib:>8} {t['run']:>8.3f} {t['bound']:>8.3f} {t['sed']:>8.3f} "
              f"{statistics.median(ratios['bound']):>9.2f} {spread(ratios['bound']):>11} "
              f"{statistics.median(ratios['sed']):>8.2f} {spread(ratios['sed']):>11} "
              f"{r['peak'] / MIB:>9.1f} {r['memory']:>9.2f} "
              f"{r['load'][0]:>5.2f}-{r['load'][1]:<5.2f} "
              f"{'dropped' if r['dropped'] else 'kept':>8}", flush=True)

    checks = []
    for mib in SIZES:
        ratios = results[mib]["ratios"]
        checks.append((f"run/replace_bound at {mib} MiB", statistics.median(ratios["bound"]),
                       MAX_BOUND_RATIO[mib], False))
        checks.append((f"run/sed at {mib} MiB", statistics.median(ratios["sed"]),
                       MAX_SED_RATIO, True))
    top, middle = results["128"], results["16"]
    checks.append(("run at 128 MiB / run at 16 MiB",
                   top["times"]["run"] / middle["times"]["run"], MAX_GROWTH, False))
    checks.append(("peak memory / largest file at 128 MiB", top["memory"], MAX_MEMORY_RATIO,
                   False))
    missed = False
    for name, value, limit, strict in checks:
        met = value < limit if strict else value <= limit
        missed |= not met
        print(f"{name}: {value:.2f} (target {'<' if strict else '<='} {limit}) "
              f"{'met' if met else 'MISSED'}")
    sys.exit(1 if missed else 0)


if __name__ == "__main__":
    main()
