#!/usr/bin/python3
"""creg_readers_test.py KESTRA32 WORK_DIR

Checks kestra32 on Windows 9x registry files with two independent readers,
libcreg (python3-libcreg) and Parse::Win32Registry (perl), as oracles:
- each file that scripts/make_creg.py builds (Windows ME and 95 style, with
  and without checksums, one or several data blocks, the three keys first, in
  the middle or last among their siblings or missing, keys deep and wide,
  thousands of short-named keys) lists, with both readers, exactly the keys
  and values of its REGEDIT4 source, and its bookkeeping is right
  (scripts/creg_bookkeeping.py);
- after `WINDIR=tree kestra32` both list exactly those less the trees of
  System\\CurrentControlSet\\Services\\Class\\hdc, Enum\\MF and Enum\\PCI; the
  file keeps its size, mode and inode and its bookkeeping is right (the
  removed keys' entries freed), SYSTEM.DA0 and USER.DAT beside it are
  untouched, and a second run changes no byte;
- runs killed at random moments leave a file that both readers list as the
  original less some of the three trees, each there whole or gone whole, with
  nothing wrong in its bookkeeping but entries not yet freed."""
import os, random, shutil, signal, stat, struct, subprocess, sys, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import creg_bookkeeping  # noqa: E402
import make_creg  # noqa: E402
from creg_listing import listing_by_libcreg, listing_by_perl  # noqa: E402

KESTRA32, WORK = sys.argv[1:3]
DELETED = ['System\\CurrentControlSet\\Services\\Class\\hdc', 'Enum\\MF', 'Enum\\PCI']
def listing_of_source(root):
    lines = []
    for path, key in root.walk():
        lines.append(path)
        lines += [f'{path}\t{name}\t{kind}\t{data.hex()}' for name, kind, data in key.values]
    return sorted(lines)


def listings(path):
    return listing_by_libcreg(path), listing_by_perl(path)


def without(lines, removed):
    def gone(line):
        path = line.split('\t')[0].upper()
        return any(path == key.upper() or path.startswith(key.upper() + '\\') for key in removed)
    return [line for line in lines if not gone(line)]


def regedit(enum, classes, extra=''):
    """A REGEDIT4 text with the given children of Enum and of the Class key,
    each target with keys and values below it."""
    text = 'REGEDIT4\r\n\r\n'
    for name in enum:
        text += (f'[HKEY_LOCAL_MACHINE\\Enum\\{name}\\Device0]\r\n"Class"="hdc"\r\n'
                 f'"ConfigFlags"=hex:00,00,00,00\r\n\r\n'
                 f'[HKEY_LOCAL_MACHINE\\Enum\\{name}\\Device0\\LogConfig]\r\n\r\n')
    for name in classes:
        text += (f'[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\{name}]\r\n'
                 f'@="{name} devices"\r\n"Icon"="-9"\r\n\r\n'
                 f'[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\{name}\\0000]\r\n'
                 f'"DriverDesc"="A driver"\r\n"Flags"=dword:00000010\r\n\r\n')
    return text + extra


DEEP = ''.join('[HKEY_LOCAL_MACHINE\\Enum\\PCI' + ''.join(f'\\L{d}' for d in range(depth)) + ']\r\n'
               for depth in range(1, 40))
WIDE = ''.join(f'[HKEY_LOCAL_MACHINE\\Enum\\Root\\*PNP{n:04X}]\r\n"N"=dword:{n:08x}\r\n'
               for n in range(300))
# Most-recently-used lists: keys a to z and 0000 to 0050 under each of a
# hundred parents, a third of them in each of two trees that the run removes.
MANY = ''.join(f'[HKEY_LOCAL_MACHINE\\{parent}{n}\\{name}]\r\n@="{n}"\r\n'
               for n in range(100)
               for parent in [('Software\\Mru', 'Enum\\PCI\\Bus',
                               'System\\CurrentControlSet\\Services\\Class\\hdc\\M')[n % 3]]
               for name in [chr(c) for c in range(97, 123)] + [f'{m:04}' for m in range(51)])


def namesakes_apart():
    """Keys of one character under neighbouring parents, named so that in the
    ME-style file an entry's offset XOR-ed with its key's character is the same
    for pairs of them, as for the key a under the entry at 0x4A48 and the key 9
    under the one at 0x4A10 in a real file: a check that hashed the parent
    with the name, FNV-style, took such keys for namesakes and refused the file."""
    def text(names):
        return regedit(['BIOS', 'MF', 'PCI'], ['hdc']) + ''.join(
            f'[HKEY_LOCAL_MACHINE\\Software\\K{n:03}\\{c}]\r\n' for n, c in enumerate(names))
    made = make_creg.build(make_creg.parse_regedit(text('x' * 120)))
    table = made[0x20:0x20 + struct.unpack_from('<I', made, 0x24)[0]]
    reached = creg_bookkeeping.reached_keys(table, struct.unpack_from('<I', table, 8)[0], [])
    # The parents of the keys named x, whose entries hold the hash of X.
    parents = sorted(parent for entry, parent in reached.items()
                     if struct.unpack_from('<I', table, entry + 4)[0] == ord('X'))
    names, taken = [], {}
    allowed = '0123456789abcdefghijklmnopqrstuvwxyz'
    for parent in parents:
        wanted = [chr(key ^ parent) for key in taken if chr(key ^ parent) in allowed]
        names.append(wanted[0] if wanted else allowed[len(names) % len(allowed)])
        taken.setdefault(parent ^ ord(names[-1]), parent)
    assert len(names) == 120 and len(taken) < len(names), 'no keys that a hash would mistake'
    return text(names)


SOURCES = {
    'first': regedit(['MF', 'PCI', 'BIOS', 'Root'], ['hdc', 'fdc', 'System']),
    'middle': regedit(['BIOS', 'MF', 'ESDI', 'PCI', 'Root'], ['fdc', 'hdc', 'System']),
    'last': regedit(['BIOS', 'Root', 'MF', 'PCI'], ['fdc', 'System', 'hdc']),
    'missing': regedit(['BIOS', 'MFX', 'PCIX'], ['fdc', 'hdcx']),
    'deep and wide': regedit(['BIOS', 'PCI', 'Root', 'MF'], ['hdc'], DEEP + WIDE),
    'many': regedit(['BIOS', 'MF', 'Root'], ['fdc', 'hdc'], MANY),
    'namesakes apart': namesakes_apart(),
}
# Style, checksums, data blocks (at least; 0: as many as the keys need), file mode.
VARIANTS = [('me', False, 0, 0o644), ('me', True, 3, 0o444), ('95', False, 3, 0o644),
            ('95', True, 0, 0o444)]
failures = []


def check(name, condition, detail=''):
    if not condition:
        failures.append(name)
        print(f'FAIL {name}: {detail}'[:2000], flush=True)


def check_listings(name, path, expected):
    """Both readers list `expected`; else shows lines each has more and less."""
    found = listings(path)
    check(name, found == (expected, expected),
          [sorted(set(lines) - set(expected))[:2] + sorted(set(expected) - set(lines))[:2]
           for lines in found])


def check_run(name, source_lines, file_bytes, mode):
    tree = os.path.join(WORK, 'tree')
    shutil.rmtree(tree, ignore_errors=True)
    os.makedirs(tree)
    dat = os.path.join(tree, 'System.Dat')
    for other in ('SYSTEM.DA0', 'USER.DAT', 'System.Dat'):
        with open(os.path.join(tree, other), 'wb') as out:
            out.write(file_bytes)
    os.chmod(dat, mode)
    inode = os.stat(dat).st_ino
    env = dict(os.environ, WINDIR=tree)
    env.pop('KESTRA32_REGISTRY', None)
    subprocess.run([KESTRA32], env=env, check=True, stdin=subprocess.DEVNULL)
    after = open(dat, 'rb').read()
    expected = without(source_lines, DELETED)
    check_listings(f'{name}: both readers list the original less the three trees', dat, expected)
    info = os.stat(dat)
    check(f'{name}: size, mode and inode kept',
          len(after) == len(file_bytes) and stat.S_IMODE(info.st_mode) == mode
          and info.st_ino == inode, (len(after), oct(info.st_mode)))
    found = creg_bookkeeping.problems(after)
    check(f'{name}: bookkeeping right after the run', found == [], found)
    for other in ('SYSTEM.DA0', 'USER.DAT'):
        check(f'{name}: {other} untouched', open(os.path.join(tree, other), 'rb').read() == file_bytes)
    subprocess.run([KESTRA32], env=env, check=True, stdin=subprocess.DEVNULL)
    check(f'{name}: a second run changes no byte', open(dat, 'rb').read() == after)


def check_files():
    for name, text in SOURCES.items():
        root = make_creg.parse_regedit(text)
        source_lines = listing_of_source(root)
        for style, checksums, blocks, mode in VARIANTS:
            label = (f'{name}, {style} style, {blocks or "enough"} block(s), '
                     f'{"with" if checksums else "no"} checksums')
            file_bytes = make_creg.build(root, blocks, style, checksums)
            path = os.path.join(WORK, 'made.dat')
            with open(path, 'wb') as out:
                out.write(file_bytes)
            check_listings(f'{label}: both readers list the source', path, source_lines)
            found = creg_bookkeeping.problems(file_bytes)
            check(f'{label}: bookkeeping right as made', found == [], found)
            check_run(label, source_lines, file_bytes, mode)


def check_bookkeeping_check():
    """creg_bookkeeping sees faults put into a made file: the entries and name
    entries of Enum\\MF unlinked but not freed, or one of them marked free but
    not yet on the free list (and nothing else); a key still reached marked
    free, a freed size counting more than the list holds."""
    made = make_creg.build(make_creg.parse_regedit(SOURCES['first']))

    def pointer(at):
        return 0x20 + struct.unpack_from('<I', made, at)[0]

    enum = pointer(pointer(0x28) + 16)
    mf = pointer(enum + 16)
    unlinked = bytearray(made)
    unlinked[enum + 16:enum + 20] = made[mf + 20:mf + 24]
    half_freed = bytearray(unlinked)
    struct.pack_into('<I', half_freed, mf, make_creg.FREE)
    marked = bytearray(made)
    struct.pack_into('<I', marked, enum, make_creg.FREE)
    resized = bytearray(made)
    freed_size = struct.unpack_from('<I', made, 8)[0] + 8
    struct.pack_into('<I', resized, freed_size, struct.unpack_from('<I', made, freed_size)[0] + 4)
    check('bookkeeping: unlinked entries not freed seen, and only that',
          creg_bookkeeping.problems(unlinked) and not creg_bookkeeping.serious(unlinked))
    check('bookkeeping: a half-freed entry seen, and only that',
          creg_bookkeeping.problems(half_freed) and not creg_bookkeeping.serious(half_freed))
    check('bookkeeping: a reached key marked free seen', creg_bookkeeping.serious(marked))
    check('bookkeeping: a freed size too large seen', creg_bookkeeping.serious(resized))


def check_kills(trials=20):
    """Kills land anywhere in runs over a file of some thousand keys."""
    text = regedit(['BIOS', 'MF', 'PCI', 'Root'], ['fdc', 'hdc'], DEEP + WIDE * 1)
    text += ''.join(f'[HKEY_LOCAL_MACHINE\\Software\\K{n}]\r\n"V"="{n}"\r\n' for n in range(6000))
    root = make_creg.parse_regedit(text)
    file_bytes = make_creg.build(root)
    source_lines = listing_of_source(root)
    states = {tuple(without(source_lines, [k for i, k in enumerate(DELETED) if mask >> i & 1]))
              for mask in range(8)}
    tree = os.path.join(WORK, 'kill')
    dat = os.path.join(tree, 'SYSTEM.DAT')
    env = dict(os.environ, WINDIR=tree)
    env.pop('KESTRA32_REGISTRY', None)
    os.makedirs(tree, exist_ok=True)
    with open(dat, 'wb') as out:
        out.write(file_bytes)
    start = time.monotonic()
    subprocess.run([KESTRA32], env=env, check=True, stdin=subprocess.DEVNULL)
    duration = time.monotonic() - start
    seen = {}
    for trial in range(trials):
        with open(dat, 'wb') as out:
            out.write(file_bytes)
        process = subprocess.Popen([KESTRA32], env=env, stdin=subprocess.DEVNULL)
        time.sleep(random.uniform(0, duration))
        process.send_signal(signal.SIGKILL)
        process.wait()
        by_libcreg, by_perl = listings(dat)
        check(f'kill {trial}: both readers agree on a state of whole trees',
              by_libcreg == by_perl and tuple(by_libcreg) in states)
        serious = creg_bookkeeping.serious(open(dat, 'rb').read())
        check(f'kill {trial}: nothing wrong but entries not yet freed', serious == [], serious)
        gone = sum(1 for key in DELETED if not any(l.upper() == key.upper() for l in by_libcreg))
        seen[gone] = seen.get(gone, 0) + 1
    print(f'{trials} kills within {duration * 1000:.0f} ms runs: trees gone per run {seen}')


os.makedirs(WORK, exist_ok=True)
check_bookkeeping_check()
check_files()
check_kills()
shutil.rmtree(WORK, ignore_errors=True)
print('creg_readers_test: ' + ('all passed' if not failures else f'{len(failures)} failed'))
sys.exit(1 if failures else 0)
