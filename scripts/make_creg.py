#!/usr/bin/python3
"""make_creg.py [--blocks N] [--gaps] INPUT.REG OUTPUT.DAT

Builds a Windows 9x registry file (signature CREG, version 1.0) holding the
keys and values of a REGEDIT4 text below HKEY_LOCAL_MACHINE, siblings in the
order the text first names them. --blocks spreads the keys' name entries over
N data blocks; --gaps leaves unused bytes and free entries between the used
ones of the key table, and free space in the data blocks, as a file that
Windows has been editing holds. Only for test files and the sample tree: its
layout is that of the public descriptions, and both independent readers list
what it writes (scripts/creg_readers_test.py checks that)."""
import argparse, re, struct

ROOT = 'HKEY_LOCAL_MACHINE'
NONE = 0xFFFFFFFF
ENTRY_SIZE, HEADER_SIZE = 28, 0x20
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


def key_table(keys, gaps):
    """Offsets of the keys' entries in the key table, and its size; with gaps,
    runs of entries are parted by unused bytes and free entries."""
    offsets, offset = {}, HEADER_SIZE
    for number, (_, key) in enumerate(keys):
        if gaps and number % 3 == 2:
            offset += 4 * (number % 4) + (ENTRY_SIZE if number % 2 else 0)
        offsets[id(key)] = offset
        offset += ENTRY_SIZE
    # Room at the end, which a file in use always has.
    return offsets, offset + HEADER_SIZE + (ENTRY_SIZE if gaps else 0)


def build(root, blocks=1, gaps=False):
    keys = list(root.walk())
    offsets, table_size = key_table(keys, gaps)
    table = bytearray(b'\xFF' * table_size if gaps else b'\0' * table_size)
    parents = {id(child): key for _, key in keys for child in key.children}
    records = [[] for _ in range(blocks)]
    for number, (_, key) in enumerate(keys):
        parent = parents.get(id(key))
        siblings = parent.children if parent else []
        later = siblings[siblings.index(key) + 1:] if parent else []
        block, index = (number % blocks, number // blocks) if parent else (0xFFFF, 0xFFFF)
        struct.pack_into('<IIIIIIHH', table, offsets[id(key)], 0, name_hash(key.name), NONE,
                         offsets[id(parent)] if parent else NONE,
                         offsets[id(key.children[0])] if key.children else NONE,
                         offsets[id(later[0])] if later else NONE, index, block)
        if parent:
            records[block].append(name_entry(key, index, block, gaps and number % 4 == 1))
            if gaps and number % 5 == 3:
                records[block].append(free_entry(0x20, block))
    navigation = (b'RGKN' + struct.pack('<IIIII', table_size, HEADER_SIZE, table_size, 0, 0)
                  + b'\0' * 8 + bytes(table[HEADER_SIZE:]))
    data = b''
    for number, entries in enumerate(records):
        if gaps:
            entries.append(free_entry(0x40, number))
        body = b''.join(entries)
        size = HEADER_SIZE + len(body)
        unused = sum(struct.unpack_from('<I', e)[0] for e in entries if e[4:6] == b'\xFF\xFF')
        data += (b'RGDB' + struct.pack('<IIHHIHH', size, unused, 0, number, size - unused, 0, 0)
                 + b'\0' * 8 + body)
    header = b'CREG' + struct.pack('<HHIIHHI', 0, 1, HEADER_SIZE + table_size, 0, blocks, 0, 0)
    return header + b'\0' * 8 + navigation + data


def free_entry(size, block):
    return struct.pack('<IHHIHHI', size, 0xFFFF, block, 20, 0, 0, 0) + b'\0' * (size - 20)


def name_entry(key, index, block, slack):
    name = key.name.encode('latin-1')
    values = b''.join(struct.pack('<IIHH', kind, 0, len(value_name.encode('latin-1')), len(data))
                      + value_name.encode('latin-1') + data for value_name, kind, data in key.values)
    used = 20 + len(name) + len(values)
    size = used + (12 if slack else 0)
    return (struct.pack('<IHHIHHI', size, index, block, used, len(name), len(key.values), 0)
            + name + values + b'\0' * (size - used))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--blocks', type=int, default=1)
    parser.add_argument('--gaps', action='store_true')
    parser.add_argument('input')
    parser.add_argument('output')
    options = parser.parse_args()
    root = parse_regedit(open(options.input, encoding='latin-1').read())
    with open(options.output, 'wb') as output:
        output.write(build(root, options.blocks, options.gaps))


if __name__ == '__main__':
    main()
