#!/usr/bin/python3
"""Runs kestra32 on disk images and judges the result with mtools and fsck.fat.

    image_run_test.py KESTRA32 WORK_DIR

Each case makes an image (a bare FAT volume or an MBR disk made with sfdisk and
mkfs.fat --offset), copies a Windows tree into it with mtools and runs
WINDIR=IMAGE[/CHOICE] kestra32. When a volume is to be patched, every file of
it, copied out with mcopy, must read as the files copied out before, with the
Windows folder patched by a folder run of kestra32 (WINDIR=FOLDER); the
attributes must stay, the bytes outside the volume must stay, fsck.fat -n must
find the volume clean, and a second run must change no byte. Otherwise the
image must not change at all.
"""
import fcntl
import os
import re
import shutil
import struct
import subprocess
import sys
import time

KESTRA32 = os.path.abspath(sys.argv[1])
WORK = os.path.abspath(sys.argv[2])
SAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "WINDOWS")
INFS = ("MSHDC.INF", "MACHINE.INF", "USB.INF")
ENV = {k: v for k, v in os.environ.items() if k not in ("KESTRA32_REGISTRY", "WINDIR")}
ENV["MTOOLS_SKIP_CHECK"] = "1"
OLD = 978350400  # 2001-01-01 12:00 UTC


def run(*args, **kw):
    return subprocess.run(args, check=True, capture_output=True, env=ENV, **kw)


def kestra32(windir):
    result = subprocess.run([KESTRA32], env=dict(ENV, WINDIR=windir), stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=300)
    assert result.returncode == 0 and not result.stdout and not result.stderr, \
        f"kestra32 on {windir}: status {result.returncode}, output {result.stdout + result.stderr!r}"


class Image:
    """A disk image and its FAT volumes as (first byte, size in bytes)."""

    def __init__(self, name, size, parts=None):
        self.path = self.raw = os.path.join(WORK, name + ".img")
        self.volumes = []
        if size is None:  # made elsewhere
            return
        run("truncate", "-s", str(size), self.path)
        if parts is None:
            self.volumes.append((0, size))
            return
        table = "".join(f"{start},{count or ''},{kind:x}\n" for start, count, kind in parts)
        run("sfdisk", "-q", self.path, input=("label: dos\nunit: sectors\n" + table).encode())
        self.read_table()

    def read_table(self):
        for line in run("sfdisk", "-d", self.path).stdout.decode().splitlines():
            if "start=" in line and "type=5" not in line and "type=f" not in line:
                fields = dict(f.strip().split("=") for f in line.split(":")[1].split(","))
                self.volumes.append((int(fields["start"]) * 512, int(fields["size"]) * 512))

    def mkfs(self, fat, volume=0, cluster_sectors=None):
        start, size = self.volumes[volume]
        args = ["-F", str(fat)] + (["-s", str(cluster_sectors)] if cluster_sectors else [])
        if start:
            args += ["--offset", str(start // 512)]
        run("mkfs.fat", *args, self.path, str(size // 1024))
        return self

    def mt(self, tool, *args, volume=0):
        return run(tool, "-i", f"{self.raw}@@{self.volumes[volume][0]}", *args)

    def as_vhd(self, subformat):
        """The image converted to a VHD, with mtools and fsck.fat reading it converted back."""
        vhd = Image(os.path.basename(self.path)[:-4] + "-" + subformat, None)
        run("qemu-img", "convert", "-f", "raw", "-O", "vpc", "-o", f"subformat={subformat}", self.path, vhd.path)
        vhd.raw, vhd.volumes = vhd.path + ".raw", self.volumes
        return vhd

    def refresh(self):
        if self.raw != self.path:
            run("qemu-img", "convert", "-f", "vpc", "-O", "raw", self.path, self.raw)

    def put(self, source, name, volume=0):
        self.mt("mcopy", "-s", "-o", "-m", source, "::" + name, volume=volume)
        return self


def tree(name, lower=False, mixed=False):
    """A copy of the sample tree under WORK, its names upper, lower or mixed case."""
    path = os.path.join(WORK, "trees", name)
    shutil.rmtree(path, ignore_errors=True)
    spell = (lambda n: n.lower()) if lower else (lambda n: n.title()) if mixed else (lambda n: n)
    os.makedirs(os.path.join(path, spell("INF")))
    for inf in INFS:
        shutil.copy(os.path.join(SAMPLE, "INF", inf), os.path.join(path, spell("INF"), spell(inf)))
    for other in ("SYSTEM.DAT", "SYSTEM.REG"):
        shutil.copy(os.path.join(SAMPLE, other), os.path.join(path, spell(other)))
    return dated(path)


def dated(folder):
    """Dates every file below a folder in 2001, so that the files written show."""
    for root, _, files in os.walk(folder):
        for name in files:
            os.utime(os.path.join(root, name), (OLD, OLD))
    return folder


def times(folder):
    return {os.path.relpath(os.path.join(root, name), folder): os.stat(os.path.join(root, name)).st_mtime
            for root, _, files in os.walk(folder) for name in files}


def snapshot(folder):
    """Every name below a folder, with the bytes of each file (None for a folder)."""
    out = {}
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(root, name)
            with open(path, "rb") if name in files else open(os.devnull, "rb") as f:
                out[os.path.relpath(path, folder)] = f.read() if name in files else None
    return out


def extract(image, volume, dest):
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    if image.mt("mdir", "-b", "::/", volume=volume).stdout.strip():
        image.mt("mcopy", "-s", "-m", "::/", dest + "/", volume=volume)
    return dest


def attributes(image, volume):
    return image.mt("mattrib", "-/", "::/", volume=volume).stdout


def fsck(image, volume):
    start, size = image.volumes[volume]
    target = image.raw
    if start:
        target = image.path + ".volume"
        run("dd", f"if={image.raw}", f"of={target}", "bs=512", f"skip={start // 512}",
            f"count={size // 512}", "conv=sparse", "status=none")
    result = subprocess.run(["fsck.fat", "-n", target], capture_output=True, env=ENV)
    lines = result.stdout.decode().splitlines()
    assert result.returncode == 0 and len(lines) == 2, f"fsck.fat: {result.stdout.decode()}"


def data_extents(f):
    """The (start, end) ranges of a file that are not holes."""
    position, fd = 0, f.fileno()
    while True:
        try:
            start = os.lseek(fd, position, os.SEEK_DATA)
        except OSError:
            return
        position = os.lseek(fd, start, os.SEEK_HOLE)
        yield start, position


def same_bytes(a, b):
    """Whether two sparse files read the same, reading only where either holds data."""
    with open(a, "rb") as f, open(b, "rb") as g:
        if os.fstat(f.fileno()).st_size != os.fstat(g.fileno()).st_size:
            return False
        for start, end in list(data_extents(f)) + list(data_extents(g)):
            for offset in range(start, end, 1 << 24):
                f.seek(offset)
                g.seek(offset)
                n = min(1 << 24, end - offset)
                if f.read(n) != g.read(n):
                    return False
    return True


def outside_same(a, b, start, size):
    """Whether two images hold the same bytes outside [start, start + size)."""
    with open(a, "rb") as f, open(b, "rb") as g:
        if f.read(start) != g.read(start):
            return False
        f.seek(start + size)
        g.seek(start + size)
        return f.read() == g.read()


class OfdLock:
    """Holds an OFD (or classic POSIX) byte-range lock on a file while in use."""

    def __init__(self, path, kind, start=0, length=0, ofd=True):
        self.path, self.kind, self.start, self.length, self.ofd = path, kind, start, length, ofd

    def __enter__(self):
        self.fd = os.open(self.path, os.O_RDWR if self.kind == fcntl.F_WRLCK else os.O_RDONLY)
        lock = struct.pack("hhxxxxqqixxxx", self.kind, os.SEEK_SET, self.start, self.length, 0)
        fcntl.fcntl(self.fd, 37 if self.ofd else fcntl.F_SETLK, lock)  # 37: F_OFD_SETLK
        return self

    def __exit__(self, *exc):
        os.close(self.fd)


def check(image, choice="", volume=0, folder="WINDOWS", kept=(), lock=None, clean=True):
    """Runs kestra32 on the image; volume None means nothing may change; kept
    INF files stay as they were; fsck.fat is asked only of clean volumes."""
    pristine = image.path + ".pristine"
    run("cp", "--sparse=always", image.path, pristine)
    windir = image.path + choice
    if volume is None or lock:
        with lock or open(os.devnull):
            kestra32(windir)
        assert same_bytes(image.path, pristine), "the image changed"
        return
    image.refresh()
    for v in range(len(image.volumes) if clean else 0):
        fsck(image, v)
    before = extract(image, volume, os.path.join(WORK, "before"))
    attrs = attributes(image, volume)
    expected = os.path.join(WORK, "expected")
    shutil.rmtree(expected, ignore_errors=True)
    shutil.copytree(before, expected)
    kestra32(os.path.join(expected, folder))
    for inf in kept:
        shutil.copy(os.path.join(before, folder, inf), os.path.join(expected, folder, inf))
    run("cp", "--sparse=always", image.raw, image.path + ".before")
    started = time.time() - 2.1  # FAT times count in steps of 2 s; time() is a coarse clock
    size = os.path.getsize(image.path)
    kestra32(windir)
    # A dynamic VHD too: the new bytes fit in the blocks it holds.
    assert os.path.getsize(image.path) == size, "the image file changed its size"
    image.refresh()
    after = snapshot(extract(image, volume, os.path.join(WORK, "after")))
    wanted, old = snapshot(expected), snapshot(before)
    assert wanted != old, "the folder run changed nothing"
    bad = sorted(k for k in set(wanted) | set(after) if wanted.get(k, 0) != after.get(k, 0))
    assert not bad, f"files differ from the folder run: {bad}"
    assert attributes(image, volume) == attrs, "attributes changed"
    assert outside_same(image.raw, image.path + ".before", *image.volumes[volume]), \
        "bytes outside the volume changed"
    if clean:
        fsck(image, volume)
    run("cp", "--sparse=always", image.path, pristine)
    kestra32(windir)
    assert same_bytes(image.path, pristine), "a second run changed the image"
    # Replaced INF files are dated by the run; every other file keeps its date,
    # SYSTEM.DAT too (edited where it lies, its directory entry untouched).
    old_times, new_times = times(before), times(os.path.join(WORK, "after"))
    bad = sorted(k for k, t in new_times.items() if (
        t >= started if after[k] != old[k] and not k.upper().endswith("SYSTEM.DAT")
        else t == old_times[k]) is False)
    assert not bad, f"dates wrong (before, after; run at {started + 2.1}): " \
        f"{[(k, old_times[k], new_times[k]) for k in bad]}"


def floppy(name):
    return Image(name, 1474560).mkfs(12)


def mbr_two():
    image = Image("two", 64 << 20, [(63, 65473, 6), (65536, None, 0xE)]).mkfs(16).mkfs(16, 1)
    return image.put(tree("two"), "WINDOWS", 0).put(tree("two"), "WINDOWS", 1)


def fragmented():
    image = Image("frag", 8 << 20).mkfs(16, cluster_sectors=1)
    fillers = os.path.join(WORK, "fillers")
    os.makedirs(fillers, exist_ok=True)
    names = []
    for i in range(200):
        names.append(os.path.join(fillers, f"F{i:03}"))
        with open(names[-1], "wb") as f:
            f.write(bytes([i]) * 512)
    image.mt("mcopy", *names, "::/")
    image.mt("mdel", *(f"::/F{i:03}" for i in range(0, 200, 2)))
    image.put(tree("frag"), "WINDOWS")
    image.mt("mdel", *(f"::/F{i:03}" for i in range(1, 100, 4)))  # holes for the new copies
    return image


def full(spare):
    """A floppy with spare free clusters (of 512 bytes) left."""
    image = floppy("full").put(tree("full"), "WINDOWS")
    free = lambda: int(re.sub(r"\D", "", image.mt("mdir", "::/").stdout.decode().split("bytes free")[0]
                                        .splitlines()[-1]))
    filler = os.path.join(WORK, "filler")
    with open(filler, "wb") as f:
        f.write(b"\xa5" * (free() - 512 * spare))
    image.put(filler, "FILLER")
    assert free() == 512 * spare
    return image


def with_attrib(flags, path):
    image = floppy("attrib").put(tree("attrib"), "WINDOWS")
    image.mt("mattrib", *flags, path)
    return image


def locked(kind, start=0, length=0, ofd=True):
    image = floppy("locked").put(tree("locked"), "WINDOWS")
    return image, OfdLock(image.path, kind, start, length, ofd)


def foreign(fmt):
    image = floppy("raw").put(tree("raw"), "WINDOWS")
    converted = Image("converted", None)
    run("qemu-img", "convert", "-f", "raw", "-O", fmt, image.path, converted.path)
    return converted


def case_lower():
    image = Image("lower", 16 << 20).mkfs(16)
    source = tree("lower", lower=True)
    with open(os.path.join(source, "inf", "A Long Name Beside.inf"), "wb") as f:
        f.write(b"[Version]\r\n")
    shutil.copy(os.path.join(source, "system.dat"), os.path.join(source, "System.Dat.Backup Copy"))
    os.remove(os.path.join(tree("beside", lower=True), "system.dat"))
    image.put(source, "windows").put(os.path.join(WORK, "trees", "beside"), "Long Folder Name")
    return image, {"folder": "windows"}


def deleted_second():
    image = floppy("deleted").put(tree("deleted"), "WINDOWS").put(tree("gone"), "WIN95")
    image.mt("mdeltree", "::/WIN95")
    return image, {}


def crowded():
    """A FAT32 root and INF folder of several clusters, with a label and long names first."""
    image = Image("crowded", 64 << 20).mkfs(32, cluster_sectors=1)
    image.mt("mlabel", "::KESTRA")
    names = os.path.join(WORK, "trees", "names")
    os.makedirs(names, exist_ok=True)
    for i in range(150):
        with open(os.path.join(names, f"A rather long file name number {i:03}.txt"), "wb") as f:
            f.write(b"%d\r\n" % i)
    dated(names)
    image.mt("mcopy", "-m", *(os.path.join(names, n) for n in sorted(os.listdir(names))), "::/")
    image.mt("mmd", "::/WINDOWS", "::/WINDOWS/INF")
    image.mt("mcopy", "-m", *(os.path.join(names, n) for n in sorted(os.listdir(names))), "::/WINDOWS/INF")
    source = tree("crowded")
    image.mt("mcopy", "-m", *(os.path.join(source, "INF", n) for n in INFS), "::/WINDOWS/INF")
    image.mt("mcopy", "-m", os.path.join(source, "SYSTEM.DAT"), os.path.join(source, "SYSTEM.REG"), "::/WINDOWS")
    return image, {}


def empty_inf():
    source = tree("emptyinf")
    open(os.path.join(source, "INF", "USB.INF"), "wb").close()
    return floppy("emptyinf").put(dated(source), "WINDOWS"), {}


def truncated():
    image = Image("cut", 32 << 20, [(63, None, 6)]).mkfs(16).put(tree("cut"), "WINDOWS")
    os.truncate(image.path, 20 << 20)
    return image, {"volume": None}


def long_named():
    return floppy("longname").put(tree("long"), "My Windows 95").put(tree("win95"), "WIN95")


def sample_image():
    image = Image("sample", None)
    run(os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_sample_image.sh"), image.path)
    image.read_table()
    return image, {}


def fats_differ():
    """A FAT16 volume whose second FAT says otherwise of MSHDC.INF's cluster: it
    stays, the other files are patched."""
    image = Image("fats", 16 << 20).mkfs(16).put(tree("fats"), "WINDOWS")
    cluster = int(re.search(r"<(\d+)", image.mt("mshowfat", "::/WINDOWS/INF/MSHDC.INF").stdout.decode())[1])
    with open(image.path, "r+b") as f:
        boot = f.read(512)
        f.seek(512 * (struct.unpack_from("<H", boot, 14)[0] + struct.unpack_from("<H", boot, 22)[0]) + 2 * cluster)
        f.write(b"\xf7\xff")  # a bad cluster
    return image, {"kept": ["INF/MSHDC.INF"], "clean": False}


def case_mixed():
    image = Image("mixed", 16 << 20).mkfs(16).put(tree("mixed", mixed=True), "Windows")
    return image, {"folder": "Windows"}


def logical():
    image = Image("logical", 64 << 20, [(63, 20417, 6), (20480, None, 5), (20543, None, 6)])
    image.mkfs(16).mkfs(16, 1).put(SAMPLE + "/INF", "INF", 0).put(tree("logical"), "WINDOWS", 1)
    return image, {"volume": 1}


def two_folders():
    return floppy("twofold").put(tree("a"), "WINDOWS").put(tree("b"), "WIN95")


def no_windows(what):
    image = floppy("none")
    source = tree("none")
    if what == "no SYSTEM.DAT":
        os.remove(os.path.join(source, "SYSTEM.DAT"))
    if what == "no INF folder":
        shutil.rmtree(os.path.join(source, "INF"))
    if what == "a file named INF":
        shutil.rmtree(os.path.join(source, "INF"))
        shutil.copy(os.path.join(SAMPLE, "INF", "USB.INF"), os.path.join(source, "INF"))
    return image if what == "empty volume" else image.put(source, "WINDOWS")


CASES = [
    ("FAT12 floppy, bare volume", lambda: (floppy("floppy").put(tree("floppy"), "WINDOWS"), {})),
    ("FAT16 bare volume", lambda: (Image("fat16", 16 << 20).mkfs(16).put(tree("fat16"), "WINDOWS"), {})),
    ("FAT32 2 GiB sparse", lambda: (Image("fat32", 2 << 30).mkfs(32).put(tree("fat32"), "WINDOWS"), {})),
] + [
    (f"MBR primary partition of type {kind:02X} (FAT{fat}) at sector {start}", lambda start=start, kind=kind, fat=fat: (
        Image(f"mbr{kind}", 40 << 20, [(start, None, kind)]).mkfs(fat).put(tree("mbr"), "WINDOWS"), {}))
    for start, kind, fat in ((63, 6, 16), (63, 1, 12), (128, 4, 16), (63, 0xE, 16), (2048, 0xB, 32),
                             (2048, 0xC, 32))
] + [
    (f"FAT16 in a partition of type {kind:02X}", lambda kind=kind: (
        Image(f"other{kind}", 32 << 20, [(63, None, kind)]).mkfs(16).put(tree("other"), "WINDOWS"),
        {"volume": None}))
    for kind in (0x83, 0x12, 0x14, 0x07)
] + [
    ("logical partition in an extended one", logical),
    ("lower-case names with long names beside", case_lower),
    ("mixed-case names, stored as long names", case_mixed),
    ("a deleted second Windows folder", deleted_second),
    ("FAT32 root and INF folder of several clusters", crowded),
    ("an empty USB.INF", empty_inf),
    ("partition past the end of the image", truncated),
    ("FAT copies differing where MSHDC.INF's replacement writes", fats_differ),
    ("fragmented files and free space", lambda: (fragmented(), {})),
    ("read-only, hidden, system SYSTEM.DAT", lambda: (
        with_attrib(["+r", "+h", "+s"], "::/WINDOWS/SYSTEM.DAT"), {})),
    ("read-only MSHDC.INF left alone", lambda: (
        with_attrib(["+r"], "::/WINDOWS/INF/MSHDC.INF"), {"kept": ["INF/MSHDC.INF"]})),
    ("hidden USB.INF", lambda: (with_attrib(["+h"], "::/WINDOWS/INF/USB.INF"), {})),
    ("no free cluster: the INF files stay, SYSTEM.DAT is edited", lambda: (
        full(0), {"kept": [f"INF/{inf}" for inf in INFS]})),
    ("room for the new USB.INF only", lambda: (full(4), {"kept": ["INF/MSHDC.INF", "INF/MACHINE.INF"]})),
] + [
    (f"no Windows folder: {what}", lambda what=what: (no_windows(what), {"volume": None}))
    for what in ("empty volume", "no SYSTEM.DAT", "no INF folder", "a file named INF")
] + [
    ("two Windows folders", lambda: (two_folders(), {"volume": None})),
    ("two Windows folders, /WIN95 chosen", lambda: (two_folders(), {"choice": "/WIN95", "folder": "WIN95"})),
    ("two Windows folders, /win95 chosen", lambda: (two_folders(), {"choice": "/win95", "folder": "WIN95"})),
    ("two Windows folders, /1/WINDOWS chosen", lambda: (two_folders(), {"choice": "/1/WINDOWS"})),
    ("/My Windows 95 chosen by its long name", lambda: (
        long_named(), {"choice": "/My Windows 95", "folder": "My Windows 95"})),
    ("/my windows 95 chosen by its long name in lower case", lambda: (
        long_named(), {"choice": "/my windows 95", "folder": "My Windows 95"})),
    ("two Windows folders chosen by number only, /1", lambda: (long_named(), {"choice": "/1", "volume": None})),
    ("the sample image of make_sample_image.sh", sample_image),
    ("chosen folder missing", lambda: (two_folders(), {"choice": "/WIN98", "volume": None})),
    ("two FAT partitions", lambda: (mbr_two(), {"volume": None})),
    ("two FAT partitions, /2/WINDOWS chosen", lambda: (mbr_two(), {"choice": "/2/WINDOWS", "volume": 1})),
    ("two FAT partitions, /2 chosen", lambda: (mbr_two(), {"choice": "/2", "volume": 1})),
    ("two FAT partitions, /1 chosen", lambda: (mbr_two(), {"choice": "/1"})),
    ("two FAT partitions, /3 chosen", lambda: (mbr_two(), {"choice": "/3", "volume": None})),
] + [
    (f"locked: {name}", lambda args=args: (lambda image, lock: (image, {"lock": lock}))(*locked(*args)))
    for name, args in (("OFD write lock", (fcntl.F_WRLCK,)), ("OFD read lock", (fcntl.F_RDLCK,)),
                       ("OFD read lock on byte 201", (fcntl.F_RDLCK, 201, 1)),
                       ("POSIX write lock", (fcntl.F_WRLCK, 0, 0, False)))
] + [
    (f"{fmt} file", lambda fmt=fmt: (foreign(fmt), {"volume": None})) for fmt in ("qcow2", "vdi", "vmdk", "vhdx")
] + [
    (f"{kind} VHD of an MBR disk", lambda kind=kind: (
        Image("vhd", 32 << 20, [(63, None, 6)]).mkfs(16).put(tree("vhd"), "WINDOWS").as_vhd(kind), {}))
    for kind in ("dynamic", "fixed")
]


def block_device():
    """As root, the sample tree on a loop device: patched as the same image is
    through its file. Returns False when no loop device can be had."""
    by_file = Image("byfile", 16 << 20).mkfs(16).put(tree("byfile"), "WINDOWS")
    on_device = Image("ondevice", 16 << 20).mkfs(16).put(tree("ondevice"), "WINDOWS")
    if os.geteuid() != 0:
        return False
    before = snapshot(extract(on_device, 0, os.path.join(WORK, "ondevice")))
    attach = subprocess.run(["losetup", "-f", "--show", on_device.path], capture_output=True,
                            text=True)
    if attach.returncode != 0:
        return False
    try:
        kestra32(attach.stdout.strip())
    finally:
        run("losetup", "-d", attach.stdout.strip())
    kestra32(by_file.path)
    fsck(on_device, 0)
    expected = snapshot(extract(by_file, 0, os.path.join(WORK, "byfile")))
    assert snapshot(extract(on_device, 0, os.path.join(WORK, "ondevice"))) == expected, \
        "the device and the file were patched differently"
    assert expected != before, "nothing was patched"
    return True


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    passed = failed = 0
    for name, make in CASES:
        try:
            image, options = make()
            check(image, **options)
            print(f"PASS {name}")
            passed += 1
        except Exception as error:  # pylint: disable=broad-except
            detail = error.stderr.decode() if isinstance(error, subprocess.CalledProcessError) else ""
            print(f"FAIL {name}: {type(error).__name__}: {error} {detail}".rstrip())
            failed += 1
        for leftover in os.listdir(WORK):
            if leftover.endswith((".img", ".pristine", ".volume", ".raw", ".before")):
                os.remove(os.path.join(WORK, leftover))
    try:
        if block_device():
            print("PASS block device")
            passed += 1
        else:
            print("SKIP block device: needs root and a free loop device")
    except Exception as error:  # pylint: disable=broad-except
        print(f"FAIL block device: {type(error).__name__}: {error}")
        failed += 1
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
