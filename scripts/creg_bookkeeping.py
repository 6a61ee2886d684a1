"""Checks the bookkeeping of a Windows 9x registry file (CREG), as Windows
leaves it: problems(file_bytes) lists what is wrong, empty when nothing is.
Messages that start with UNFREED tell of key entries or name entries that
no key reached from the root needs and that are not freed, or freed but not
yet on their list, with the header not yet counting them: what a run killed
half-way may leave behind, since it writes each entry before what leads to
it. serious(file_bytes) lists the others."""
import struct

NONE, FREE, ENTRY_SIZE, HEADER_SIZE = 0xFFFFFFFF, 0x80000000, 28, 0x20
UNFREED = 'not freed: '


def dwords_sum(area):
    return sum(struct.unpack(f'<{len(area) // 4}I', area)) & 0xFFFFFFFF


def places(table_size):
    """Offsets of the entries of a key table of that size: 8 KiB, then 4 KiB
    pages, no entry crossing a page's end."""
    offsets = list(range(HEADER_SIZE, 0x2000 - ENTRY_SIZE + 1, ENTRY_SIZE))
    for page in range(0x2000, table_size, 0x1000):
        offsets += range(page, page + 0x1000 - ENTRY_SIZE + 1, ENTRY_SIZE)
    return offsets


def reached_keys(table, root, out):
    """The entries reached from the root, each with its parent's offset."""
    reached, stack = {}, [(root, NONE)]
    while stack:
        at, parent = stack.pop()
        if at in reached or at + ENTRY_SIZE > len(table):
            out.append(f'key entry {at:#x} reached twice or past the table')
            continue
        reached[at] = parent
        _, _, _, up, child, sibling = struct.unpack_from('<6I', table, at)
        if up != parent:
            out.append(f'key entry {at:#x}: parent {up:#x}, reached from {parent:#x}')
        stack += [(child, at)] * (child != NONE) + [(sibling, parent)] * (sibling != NONE)
    return reached


def table_problems(table, out):
    """Checks the key table's entries and free list; returns the entries
    reached from the root."""
    size, root, head, flags, _ = struct.unpack_from('<5I', table, 4)
    if flags & 4 and dwords_sum(table):
        out.append('key table checksum wrong')
    slots = places(size)
    reached = reached_keys(table, root, out)
    covered, on_list, at = set(), set(), head
    while at != NONE:
        mark, length, after = struct.unpack_from('<3I', table, at) if at in slots else (0, 0, NONE)
        if at not in slots or at in on_list or mark != FREE or at + length > size:
            out.append(f'free list: {at:#x} not a free entry, or listed twice')
            break
        on_list.add(at)
        run = {slot for slot in slots if at <= slot < at + length}
        if run & covered or not length:
            out.append(f'free run at {at:#x} overlaps another or is empty')
        covered |= run
        at = after
    for slot in slots:
        mark = struct.unpack_from('<I', table, slot)[0]
        if slot in reached and (slot in covered or mark):
            out.append(f'key entry {slot:#x} reached but free')
        elif slot not in covered and slot not in reached:
            out.append(f'{UNFREED}key entry {slot:#x} unreachable' if mark in (0, FREE)
                       else f'key entry {slot:#x} marked {mark:#x}, on no free run')
    for at in set(reached) - set(slots):
        out.append(f'key entry {at:#x} reached but not at an entry place')
    return reached


def block_problems(block, number, names, out):
    """Checks one data block against the (id, block) pairs that reached keys name."""
    size, freed_size, flags, own_number, first, highest, lowest = struct.unpack_from(
        '<IIHHIHH', block, 4)
    where = f'block {number}'
    if flags & 4 and dwords_sum(block):
        out.append(f'{where}: checksum wrong')
    if own_number != number:
        out.append(f'{where}: numbered {own_number}')
    # Windows 95 leaves a block's free space as one run at its end that is no
    # freed name entry, and keeps the name entries of removed keys in use
    # there; the program does the same, so in such a block in-use entries need
    # no key.
    head_size, head_number = (struct.unpack_from('<II', block, first) if first + 8 <= size
                              else (0, 0))
    tail = (freed_size and first == size - freed_size
            and not (20 <= head_size <= freed_size and head_number == NONE))
    end = first if tail else size
    used, freed, at = set(), {}, HEADER_SIZE
    while at < end:
        length, index, owner = (struct.unpack_from('<IHH', block, at) if at + 20 <= end
                                else (0, 0, 0))
        if length < 20 or at + length > end:
            out.append(f'{where}: name entries broken at {at:#x}')
            break
        if (index, owner) == (0xFFFF, 0xFFFF):
            freed[at] = length
        elif owner != number or index in used:
            out.append(f'{where}: name entry {at:#x} numbered ({index}, {owner})')
        else:
            used.add(index)
            if (index, number) not in names and not tail:
                out.append(f'{UNFREED}{where}: name entry {index} belongs to no key')
        at += length
    on_list, at = [], NONE if tail else first
    while at != NONE and at in freed and at not in on_list:
        on_list.append(at)
        at = struct.unpack_from('<I', block, at + 8)[0]
    if at != NONE:
        out.append(f'{where}: free list {[hex(a) for a in on_list]} broken at {at:#x}')
    elif sorted(on_list) != sorted(freed):
        out.append(f'{UNFREED}{where}: freed entries {sorted(set(freed) - set(on_list))} '
                   'on no list')
    listed_size = sum(freed[a] for a in on_list)
    if not tail and freed_size != listed_size:
        out.append(f'{UNFREED * (freed_size < listed_size)}{where}: freed size {freed_size:#x}, '
                   f'listed entries {listed_size:#x}')
    free_number = min(set(range(256)) - used)
    if lowest < free_number:
        out.append(f'{where}: lowest free number {lowest} is used, the lowest free is {free_number}')
    elif lowest > free_number:
        out.append(f'{UNFREED}{where}: lowest free number {lowest}, not yet {free_number}')
    if used and highest < max(used):
        out.append(f'{where}: highest number {highest} below {max(used)}')
    return {(index, number) for index in used}


def problems(data):
    """What is wrong with the bookkeeping of the registry file `data`."""
    out = []
    if data[:4] != b'CREG' or data[HEADER_SIZE:HEADER_SIZE + 4] != b'RGKN':
        return ['not a CREG file']
    first_block, _, count, flags = struct.unpack_from('<IIHH', data, 8)
    if flags & 4 and dwords_sum(data[:HEADER_SIZE]):
        out.append('file header checksum wrong')
    table_size = struct.unpack_from('<I', data, HEADER_SIZE + 4)[0]
    if first_block != HEADER_SIZE + table_size:
        out.append(f'first data block at {first_block:#x}, key table ends at '
                   f'{HEADER_SIZE + table_size:#x}')
    table = data[HEADER_SIZE:HEADER_SIZE + table_size]
    reached = table_problems(table, out)
    root = struct.unpack_from('<I', table, 8)[0]
    names = {struct.unpack_from('<HH', table, at + 24) for at in reached if at != root}
    found, at = set(), first_block
    for number in range(count):
        size = struct.unpack_from('<I', data, at + 4)[0] if at + 8 <= len(data) else 0
        if data[at:at + 4] != b'RGDB' or size < HEADER_SIZE or at + size > len(data):
            out.append(f'block {number} at {at:#x} missing or past the end')
            break
        found |= block_problems(data[at:at + size], number, names, out)
        at += size
    out += [f'key names ({index}, {block}), no name entry' for index, block in names - found]
    return out


def serious(data):
    """The problems of `data` other than entries unreachable but not freed."""
    return [problem for problem in problems(data) if not problem.startswith(UNFREED)]
