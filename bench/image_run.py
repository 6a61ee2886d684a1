#!/usr/bin/env python3
"""image_run.py KESTRA32 FOLDER: times kestra32 on a sparse 2 GiB FAT32 disk
image holding 20,000 files besides the sample Windows tree (made in
FOLDER/image/pristine.img with mkfs.fat and mtools when missing), against
what the same work costs in a folder:

- the folder run: kestra32 on a copy of the sample tree in a folder;
- the walk: reading every directory of the same 20,000 files in a folder
  (os.walk over a copy of them), which a run on the image must match by
  reading the image's directories.

The image run may take at most 3 times the folder run plus the walk; it may
read (read and pread64 bytes, as strace counts them) no more than the FAT copies, the
directories and the four files, with 1 MiB for boot sectors and the like; its
peak memory may be at most one FAT's size, twice the largest INF file and
16 MiB. Every step starts from fresh, synced copies with the page cache
dropped when this process may. Medians of 9 repetitions. Exits 1 when a
target is missed.
"""

import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

from measure import drop_caches

REPETITIONS = 9
FOLDERS, FILES_PER_FOLDER = 100, 200
CLUSTER = 4096
MIB = 1 << 20


def make(folder, sample):
    """The pristine image and the folder of the same data files."""
    image, data = folder / "pristine.img", folder / "DATA"
    if image.exists():
        return image, data
    shutil.rmtree(data, ignore_errors=True)
    for d in range(FOLDERS):
        (data / f"D{d:03d}").mkdir(parents=True)
        for f in range(FILES_PER_FOLDER):
            (data / f"D{d:03d}" / f"F{f:03d}.TXT").write_bytes(b"x" * ((d * 200 + f) % 3000 + 1))
    partial = folder / "partial.img"
    subprocess.run(["truncate", "-s", "2G", partial], check=True)
    subprocess.run(["mkfs.fat", "-F", "32", "-S", "512", "-s", "8", partial], check=True,
                   stdout=subprocess.DEVNULL)
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    subprocess.run(["mcopy", "-s", "-i", partial, data, sample, "::/"], check=True, env=env)
    partial.rename(image)
    return image, data


def main():
    kestra32, folder = sys.argv[1], Path(sys.argv[2]) / "image"
    sample = Path(__file__).resolve().parent.parent / "examples" / "WINDOWS"
    folder.mkdir(parents=True, exist_ok=True)
    pristine, data = make(folder, sample)
    work_image, work_tree = folder / "work.img", folder / "WINDOWS"
    fat_bytes = 2 * (2 * 1024 ** 3 // CLUSTER) * 4
    directories = (FOLDERS + 1) * CLUSTER * 2 + 4 * CLUSTER
    infs = sum(p.stat().st_size for p in (sample / "INF").iterdir())
    allowed_read = fat_bytes + directories + infs + (sample / "SYSTEM.DAT").stat().st_size + MIB
    allowed_memory = fat_bytes // 2 + 2 * max(p.stat().st_size for p in (sample / "INF").iterdir()) \
        + 16 * MIB
    ratios, image_times, folder_times, walk_times, peaks = [], [], [], [], []
    cache = False
    for _ in range(REPETITIONS):
        subprocess.run(["cp", "--sparse=always", pristine, work_image], check=True)
        os.sync()
        cache = drop_caches()
        start = time.perf_counter()
        process = subprocess.Popen([kestra32], env=dict(os.environ, WINDIR=str(work_image)))
        _, status, usage = os.wait4(process.pid, 0)
        image_time = time.perf_counter() - start
        if os.waitstatus_to_exitcode(status) != 0:
            raise SystemExit("kestra32 failed")
        peaks.append(usage.ru_maxrss * 1024)
        shutil.rmtree(work_tree, ignore_errors=True)
        shutil.copytree(sample, work_tree)
        os.sync()
        drop_caches()
        start = time.perf_counter()
        subprocess.run([kestra32], env=dict(os.environ, WINDIR=str(work_tree)), check=True)
        folder_time = time.perf_counter() - start
        drop_caches()
        start = time.perf_counter()
        for _ in os.walk(data):
            pass
        walk_time = time.perf_counter() - start
        image_times.append(image_time)
        folder_times.append(folder_time)
        walk_times.append(walk_time)
        ratios.append(image_time / (folder_time + walk_time))
    read = measure_read(kestra32, pristine, work_image)
    ratio, peak = statistics.median(ratios), max(peaks)
    print(f"cache dropped: {cache}")
    print(f"image run {statistics.median(image_times):.3f} s, folder run "
          f"{statistics.median(folder_times):.3f} s, walk {statistics.median(walk_times):.3f} s, "
          f"ratio {ratio:.2f} ({min(ratios):.2f}-{max(ratios):.2f}), target <= 3")
    print(f"read {read / MIB:.1f} MiB, allowed {allowed_read / MIB:.1f} MiB")
    print(f"peak memory {peak / MIB:.1f} MiB, allowed {allowed_memory / MIB:.1f} MiB")
    missed = ratio > 3 or read > allowed_read or peak > allowed_memory
    print("image_run: " + ("a target missed" if missed else "every target met"))
    return 1 if missed else 0


def measure_read(kestra32, pristine, work_image):
    """The bytes one run reads, as strace counts its read and pread64 calls
    (those of the dynamic loader included)."""
    subprocess.run(["cp", "--sparse=always", pristine, work_image], check=True)
    trace = subprocess.run(["strace", "-e", "trace=read,pread64", "-e", "signal=none", "-o",
                            "/dev/stderr", kestra32], env=dict(os.environ, WINDIR=str(work_image)),
                           capture_output=True, text=True, check=True)
    results = (line.rsplit("= ", 1)[-1].split()[0] for line in trace.stderr.splitlines())
    return sum(int(result) for result in results if result.isdigit())


if __name__ == "__main__":
    sys.exit(main())
