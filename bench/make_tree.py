#!/usr/bin/env python3
"""make_tree.py FOLDER MIB: writes FOLDER/WINDOWS/INF/{MSHDC,MACHINE,USB}.INF,
each about MIB MiB (a fraction will do), shaped like a system's INF files that
lack every line kestra32 adds.

Each file is many sections of device, registry and string lines with comments
and blank lines. The sections kestra32 patches are spread through the file,
"Strings" last, and each is as large as the filler between them, so that the
section look-ups and the scans cross the whole file. Device ids stay below
7000 and never name the controllers kestra32 adds, so every scan runs to its
section's end. The output depends only on the arguments.
"""

import random
import sys
from pathlib import Path

MIB = 1 << 20
VENDORS = ["1045", "1A2B", "10B9", "1039", "5333", "10DE", "1002", "8086", "1106", "104C"]
NAMES = ["Acme", "Brightline", "Nordvik", "Calder", "Osprey", "Tallis", "Quarry", "Meridian"]


def hardware_id(rng):
    return f"PCI\\VEN_{rng.choice(VENDORS)}&DEV_{rng.randrange(0x1000, 0x7000):04X}"


def device_line(install):
    def make(rng):
        hwid = hardware_id(rng)
        return f"%{hwid}.DeviceDesc%={install},{hwid}"
    return make


def flag_line(key):
    return lambda rng: f"{key}={hardware_id(rng)}"


def string_line(rng):
    return f'{hardware_id(rng)}.DeviceDesc="{rng.choice(NAMES)} {rng.randrange(100, 999)} PCI Controller"'


def addreg_line(rng):
    pci = "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI"
    id_ = f"{rng.randrange(0x1000, 0x7000):04X}{rng.choice(VENDORS)}"
    kind = rng.randrange(4)
    if kind == 0:
        return f"{pci},{id_},1,{rng.choice(['00', '04'])},00,00,00"
    miniports = rng.choice(["IRQMiniports", "IDEMiniports"])
    value = ['Name,,"Generic"', 'Path,,"PCIMP.PCI"', "Instance,1,01,00,00,00"][kind - 1]
    return f"{pci}\\{miniports}\\{id_},{value}"


def filler_line(rng):
    return rng.choice([
        lambda: f"HKR,,DevLoader,,*{rng.choice(['IOS', 'configmg', 'ntkern'])}",
        lambda: f"AddReg={rng.choice(NAMES)}_{rng.randrange(10000)}.AddReg",
        lambda: f"CopyFiles={rng.choice(NAMES)}_{rng.randrange(10000)}.CopyFiles",
        lambda: device_line("NO_DRV")(rng),
    ])()


def section(rng, out, name, make_line, size):
    out.append(f"; {name}: lines of several vendors")
    out.append(f"[{name}]")
    written = 0
    while written < size:
        line = make_line(rng) if rng.randrange(12) else f"; {make_line(rng)}"
        out.append(line)
        written += len(line) + 2
    out.append("")


def make_file(rng, title, patched, size):
    out = [f"; {title} -- synthetic benchmark file", "", "[Version]",
           'Signature="$CHICAGO$"', "Provider=%Provider%", ""]
    share = size // (2 * len(patched))
    for number, (name, make_line) in enumerate(patched):
        filler = 0
        while filler < share:
            start = len(out)
            section(rng, out, f"{rng.choice(NAMES)}_{number}_{filler}", filler_line, 4096)
            filler += sum(len(line) + 2 for line in out[start:])
        section(rng, out, name, make_line, share)
    return "\r\n".join(out).encode("ascii") + b"\r\n"


FILES = {
    "MSHDC.INF": [
        ("INTEL_HDC", device_line("DUAL_GOOD_IDE")),
        ("VIATECH_HDC", device_line("DUAL_GOOD_IDE")),
        ("ControlFlags", flag_line("CopyFilesOnly")),
        ("Strings", string_line),
    ],
    "MACHINE.INF": [
        ("MS_SYS", device_line("ISA_DRV")),
        ("ControlFlags", flag_line("ExcludeFromSelect")),
        ("PCI_DRV_AddReg", addreg_line),
        ("Strings", string_line),
    ],
    "USB.INF": [
        ("Intel.Section", device_line("UniversalHCD.Dev")),
        ("Strings", string_line),
    ],
}


def main():
    folder, mib = Path(sys.argv[1]), float(sys.argv[2])
    inf = folder / "WINDOWS" / "INF"
    inf.mkdir(parents=True, exist_ok=True)
    for seed, (name, patched) in enumerate(FILES.items()):
        (inf / name).write_bytes(make_file(random.Random(seed), name, patched, int(mib * MIB)))


if __name__ == "__main__":
    main()
