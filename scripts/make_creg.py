#!/usr/bin/python3
"""make_creg.py [--blocks N] [--style me|95] [--checksums] INPUT.REG OUTPUT.DAT

Builds a Windows 9x registry file (signature CREG, version 1.0) holding the
keys and values of a REGEDIT4 text below HKEY_LOCAL_MACHINE, siblings in the
order the text first names them, laid out as a file that Windows has been
editing: a key table in pages (8 KiB, then 4 KiB) whose free entries form one
list ending with the run to the table's end, and data blocks of 4 KiB pages
holding at most 255 name entries in use, as many as the keys need, or N
if more. --style me (the default) leaves freed key entries between the
used ones and freed name entries, stale names and values kept, anywhere in
the blocks, each block's on its list; --style 95 packs the used entries and
leaves each block's free space as one run of bytes 0xFF at its end. --checksums
sets the checksum-valid flags and the sums; without it the checksum fields
hold leftover values. Only for test files and the sample tree: its layout is
that of the public descriptions, and both independent readers list what it
writes (scripts/creg_readers_test.py checks that)."""
import argparse, re, struct

ROOT = 'HKEY_LOCAL_MACHINE'
NONE, FREE = 0xFFFFFFFF, 0x80000000
ENTRY_SIZE, HEADER_SIZE, FIRST_PAGE, PAGE = 28, 0x20, 0x2000, 0x1000
KEYS_PER_BLOCK = 200
REG_SZ, REG_BINARY, REG_DWORD = 1, 3, 4


class Key:
    def __init__(self, name):
        self.name, self.values, self.children = name, [], []

    def child(self, name):
        for key in self.children:
            if key.name.upper() == name.upper():
                return key
        self.children.append(Key(name))
        return self.children[-1]

    def walk(self, path=''):
        yield path, self
        for key in self.children:
            yield from key.walk(f'{path}\\{key.name}' if path else key.name)


def unquote(text):
    return re.sub(r'\\(.)', r'\1', text)


def parse_value(text):
    """Name, type and data of a REGEDIT4 value line."""
    match = re.fullmatch(r'(@|"(?:[^"\\]|\\.)*")=(.*)', text)
    name = '' if match.group(1) == '@' else unquote(match.group(1)[1:-1])
    data = match.group(2)
    if data.startswith('"'):
        return name, REG_SZ, unquote(data[1:-1]).encode('latin-1') + b'\0'
    if data.startswith('dword:'):
        return name, REG_DWORD, struct.pack('<I', int(data[6:], 16))
    hex_bytes = data[len('hex:'):].replace('\\', '').replace(' ', '')
    return name, REG_BINARY, bytes(int(b, 16) for b in hex_bytes.split(',') if b)


def parse_regedit(text):
    """The tree of keys below HKEY_LOCAL_MACHINE that a REGEDIT4 text holds."""
    root, key = Key(''), None
    for line in text.replace('\r', '').split('\n')[1:]:
        if line.startswith('['):
            path = line[1:line.rindex(']')]
            parts = path.split('\\')
            assert parts[0].upper() == ROOT, path
            key = root
            for part in parts[1:]:
                key = key.child(part)
        elif line.strip() and key is not None:
            key.values.append(parse_value(line))
    return root


def name_hash(name):
    return sum(b for b in name.upper().encode('latin-1') if b < 0x80)


def places(table_size):
    """Offsets of the entries a key table of that size holds: none crosses a page."""
    offsets = list(range(HEADER_SIZE, FIRST_PAGE - ENTRY_SIZE + 1, ENTRY_SIZE))
    for page in range(FIRST_PAGE, table_size, PAGE):
        offsets += range(page, page + PAGE - ENTRY_SIZE + 1, ENTRY_SIZE)
    return offsets


def seal(area, at, valid):
    """Puts at `at` the checksum that makes area's dwords sum to 0, or when
    not valid a leftover value that does not."""
    struct.pack_into('<I', area, at, 0)
    right = -sum(struct.unpack(f'<{len(area) // 4}I', area)) & 0xFFFFFFFF
    struct.pack_into('<I', area, at, right if valid else (right + 0x9E3779B9 & 0xFFFFFFFF) | 1)


def build(root, blocks=0, style='me', checksums=False):
    """The bytes of a registry file of the tree below root, in at least
    `blocks` data blocks, in Windows ME or 95 style ('me', '95')."""
    keys = [key for _, key in root.walk()]
    blocks = max(blocks, 1, -(-(len(keys) - 1) // KEYS_PER_BLOCK))
    parents = {id(child): key for key in keys for child in key.children}
    # The key table's entries in order, None for a freed one (a removed key)
    # before every sixth key in ME style; the name entries follow the same
    # order, dealt out over the blocks, each taking the block's next number.
    # The free list runs up the table, ending with the run to its end.
    order = []
    for number, key in enumerate(keys):
        order += [None] * (style == 'me' and number % 6 == 2) + [key]
    table_size = FIRST_PAGE
    while len(places(table_size)) <= len(order):
        table_size += PAGE
    offsets = places(table_size)
    entry = {id(key): offsets[i] for i, key in enumerate(order) if key}
    in_block = [[] for _ in range(blocks)]
    record = [(0xFFFF, 0xFFFF)]
    for number, key in enumerate(order[1:]):
        block = in_block[number % blocks]
        record.append((len(block), number % blocks))
        block.append(key)
    table = bytearray(table_size)
    freed = [offsets[i] for i, key in enumerate(order) if not key] + [offsets[len(order)]]
    for i, key in enumerate(order):
        if key:
            parent = parents.get(id(key))
            siblings = parent.children if parent else [key]
            later = siblings[siblings.index(key) + 1:]
            fields = (0, name_hash(key.name), NONE, entry[id(parent)] if parent else NONE,
                      entry[id(key.children[0])] if key.children else NONE,
                      entry[id(later[0])] if later else NONE)
        else:  # stale fields of the removed key, a sibling before the next one
            at = freed.index(offsets[i])
            fields = (FREE, ENTRY_SIZE, freed[at + 1], entry[id(parents[id(order[i + 1])])],
                      NONE, offsets[i + 1])
        struct.pack_into('<IIIIIIHH', table, offsets[i], *fields, *record[i])
    struct.pack_into('<III', table, freed[-1], FREE, table_size - freed[-1], NONE)
    table[:HEADER_SIZE] = b'RGKN' + struct.pack('<IIIII', table_size, offsets[0], freed[0],
                                                0xD if checksums else 0x9, 0) + bytes(8)
    seal(table, 20, checksums)
    data = b''.join(data_block(number, items, style, checksums)
                    for number, items in enumerate(in_block))
    header = bytearray(b'CREG' + struct.pack('<HHIIHHI', 0, 1, HEADER_SIZE + table_size, 0,
                                             blocks, 4 if checksums else 0, 0) + bytes(8))
    seal(header, 12, checksums)
    return bytes(header + table) + data


def data_block(number, keys, style, checksums):
    """A data block of the name entries of these keys, numbered in order, None
    standing for a removed key's, which is freed and keeps a stale name and
    value; the block fills 4 KiB pages, the rest of the last one a freed name
    entry more in ME style, in 95 style bytes 0xFF: libcreg fails on a file
    whose block ends in zeros, it and Parse::Win32Registry take the 0xFF
    run's first dword for the size of an entry past the block's end, and stop.
    The list of freed name entries runs up the block: libcreg 20200725 reads
    a freed name entry as one in use, its next-freed field as its used size,
    and fails where that falls short of the stale name and values."""
    body = bytearray(HEADER_SIZE)
    freed = []
    for index, key in enumerate(keys):
        if key is None:
            freed.append(len(body))
            key = Key(f'Old{index}')
            key.values.append(('Gone', REG_SZ, b'stale\0'))
        body += name_entry(key, index, number, index % 4 == 1)
    end = len(body)
    size = (end + HEADER_SIZE + PAGE - 1) // PAGE * PAGE
    body += bytes(size - end) if style == 'me' else b'\xFF' * (size - end)
    if style == 'me':
        freed.append(end)
        struct.pack_into('<I', body, end, size - end)
    for at, after in zip(freed, freed[1:] + [NONE]):
        struct.pack_into('<HHI', body, at + 4, 0xFFFF, 0xFFFF, after)
    unused = sum(struct.unpack_from('<I', body, at)[0] for at in freed) if freed else size - end
    lowest = keys.index(None) if None in keys else len(keys)
    body[:HEADER_SIZE] = b'RGDB' + struct.pack(
        '<IIHHIHHII', size, unused, 4 if checksums else 0, number,
        freed[0] if freed else end, len(keys) - 1 & 0xFFFF, lowest, 0, 0)
    seal(body, 28, checksums)
    return bytes(body)


def name_entry(key, index, block, slack):
    name = key.name.encode('latin-1')
    values = b''.join(struct.pack('<IIHH', kind, 0, len(value_name.encode('latin-1')), len(data))
                      + value_name.encode('latin-1') + data for value_name, kind, data in key.values)
    used = 20 + len(name) + len(values)
    size = used + (12 if slack else 0)
    return (struct.pack('<IHHIHHI', size, index, block, used, len(name), len(key.values), 0)
            + name + values + bytes(size - used))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--blocks', type=int, default=0)
    parser.add_argument('--style', choices=('me', '95'), default='me')
    parser.add_argument('--checksums', action='store_true')
    parser.add_argument('input')
    parser.add_argument('output')
    options = parser.parse_args()
    root = parse_regedit(open(options.input, encoding='latin-1').read())
    with open(options.output, 'wb') as output:
        output.write(build(root, options.blocks, options.style, options.checksums))


if __name__ == '__main__':
    main()
