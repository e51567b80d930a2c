"""A writer of compound files (MS-CFB, version 3: 512-byte sectors), enough
for a workbook: storages and streams, small streams in the mini stream, and
each storage's children in a valid red-black tree."""

SECTOR = 512
MINI_SECTOR = 64
MINI_CUTOFF = 4096  # streams shorter than this live in the mini stream
FREESECT, ENDOFCHAIN, FATSECT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD
NOSTREAM = 0xFFFFFFFF
RED, BLACK = 0, 1
STORAGE, STREAM, ROOT = 1, 2, 5


class Storage:
    def __init__(self, name, clsid=bytes(16)):
        self.name, self.clsid, self.children = name, clsid, []

    def storage(self, name, clsid=bytes(16)):
        child = Storage(name, clsid)
        self.children.append(child)
        return child

    def stream(self, name, data):
        self.children.append(Stream(name, data))


class Stream:
    def __init__(self, name, data):
        self.name, self.data = name, bytes(data)


def _sort_key(name):
    # Directory order: shorter names first, then by upper-cased code units.
    utf16 = name.encode('utf-16-le')
    return (len(utf16), name.upper())


def _tree(sorted_ids, depth, max_depth, entries):
    """Links the ids as a balanced binary search tree and returns its root.
    Nodes on the deepest level (below the root) are red, all others black:
    every leaf of such a tree is on the deepest level or the one above it,
    so every path passes the same number of black nodes, and no red node
    has a red child."""
    if not sorted_ids:
        return NOSTREAM
    mid = len(sorted_ids) // 2
    node = sorted_ids[mid]
    entries[node]['left'] = _tree(sorted_ids[:mid], depth + 1, max_depth, entries)
    entries[node]['right'] = _tree(sorted_ids[mid + 1:], depth + 1, max_depth, entries)
    entries[node]['color'] = RED if depth == max_depth and depth > 0 else BLACK
    return node


def _depth(n):
    # Depth of the deepest node of a balanced tree of n nodes (root at 0).
    return max(0, n.bit_length() - 1)


def _chain(fat, first, count):
    for i in range(count):
        fat[first + i] = first + i + 1 if i + 1 < count else ENDOFCHAIN


def write(root):
    """The bytes of a compound file whose root storage is `root`."""
    entries = []

    def add(node, kind):
        entries.append({'node': node, 'kind': kind, 'left': NOSTREAM, 'right': NOSTREAM,
                        'child': NOSTREAM, 'color': BLACK, 'start': 0, 'size': 0})
        return len(entries) - 1

    def add_children(storage_id):
        storage = entries[storage_id]['node']
        ids = [add(c, STORAGE if isinstance(c, Storage) else STREAM) for c in storage.children]
        ids.sort(key=lambda i: _sort_key(entries[i]['node'].name))
        entries[storage_id]['child'] = _tree(ids, 0, _depth(len(ids)), entries)
        for i in ids:
            if entries[i]['kind'] == STORAGE:
                add_children(i)

    add_children(add(root, ROOT))
    # A tree built as above is balanced; check the colouring rule anyway.
    for e in entries:
        if e['color'] == RED:
            for side in ('left', 'right'):
                assert e[side] == NOSTREAM or entries[e[side]]['color'] == BLACK

    # Small streams go into the mini stream, the others into sectors.
    mini = bytearray()
    minifat = []
    big = []
    for e in entries:
        if e['kind'] != STREAM:
            continue
        data = e['node'].data
        e['size'] = len(data)
        if len(data) == 0:
            e['start'] = ENDOFCHAIN
        elif len(data) < MINI_CUTOFF:
            first = len(minifat)
            count = (len(data) + MINI_SECTOR - 1) // MINI_SECTOR
            minifat += [0] * count
            _chain(minifat, first, count)
            e['start'] = first
            mini += data.ljust(count * MINI_SECTOR, b'\x00')
        else:
            big.append(e)

    dir_sectors = (len(entries) * 128 + SECTOR - 1) // SECTOR
    minifat_sectors = (len(minifat) * 4 + SECTOR - 1) // SECTOR
    mini_sectors = (len(mini) + SECTOR - 1) // SECTOR
    big_sectors = sum((len(e['node'].data) + SECTOR - 1) // SECTOR for e in big)
    fat_sectors = 1
    while fat_sectors * (SECTOR // 4) < fat_sectors + dir_sectors + minifat_sectors + mini_sectors + big_sectors:
        fat_sectors += 1
    if fat_sectors > 109:
        raise ValueError('file too large for a header-only DIFAT')
    total = fat_sectors + dir_sectors + minifat_sectors + mini_sectors + big_sectors
    fat = [FREESECT] * (fat_sectors * SECTOR // 4)
    for i in range(fat_sectors):
        fat[i] = FATSECT
    at = fat_sectors
    dir_start = at
    _chain(fat, at, dir_sectors)
    at += dir_sectors
    minifat_start = at if minifat_sectors else ENDOFCHAIN
    _chain(fat, at, minifat_sectors)
    at += minifat_sectors
    root_entry = entries[0]
    root_entry['start'] = at if mini_sectors else ENDOFCHAIN
    root_entry['size'] = len(mini)
    _chain(fat, at, mini_sectors)
    at += mini_sectors
    body = bytearray()
    for e in big:
        count = (len(e['node'].data) + SECTOR - 1) // SECTOR
        e['start'] = at
        _chain(fat, at, count)
        at += count
        body += e['node'].data.ljust(count * SECTOR, b'\x00')
    assert at == total

    header = bytearray()
    header += bytes.fromhex('D0CF11E0A1B11AE1') + bytes(16)
    header += (0x003E).to_bytes(2, 'little') + (0x0003).to_bytes(2, 'little')
    header += (0xFFFE).to_bytes(2, 'little') + (9).to_bytes(2, 'little') + (6).to_bytes(2, 'little')
    header += bytes(6) + (0).to_bytes(4, 'little')  # directory sector count: 0 in version 3
    header += fat_sectors.to_bytes(4, 'little') + dir_start.to_bytes(4, 'little')
    header += bytes(4) + MINI_CUTOFF.to_bytes(4, 'little')
    header += minifat_start.to_bytes(4, 'little') + minifat_sectors.to_bytes(4, 'little')
    header += ENDOFCHAIN.to_bytes(4, 'little') + (0).to_bytes(4, 'little')
    difat = list(range(fat_sectors)) + [FREESECT] * (109 - fat_sectors)
    header += b''.join(s.to_bytes(4, 'little') for s in difat)
    assert len(header) == SECTOR

    directory = bytearray()
    for e in entries:
        name = e['node'].name if e['kind'] != ROOT else 'Root Entry'
        utf16 = name.encode('utf-16-le') + b'\x00\x00'
        if len(utf16) > 64:
            raise ValueError('name too long: ' + name)
        clsid = e['node'].clsid if e['kind'] != STREAM else bytes(16)
        directory += utf16.ljust(64, b'\x00') + len(utf16).to_bytes(2, 'little')
        directory += bytes([e['kind'], e['color']])
        directory += b''.join(e[k].to_bytes(4, 'little') for k in ('left', 'right', 'child'))
        directory += clsid + bytes(4) + bytes(16)  # state bits, creation and modified times
        directory += e['start'].to_bytes(4, 'little') + e['size'].to_bytes(8, 'little')
    unused = bytes(66) + bytes([0, 0]) + NOSTREAM.to_bytes(4, 'little') * 3 + bytes(16 + 4 + 16 + 4 + 8)
    while len(directory) % SECTOR:
        directory += unused

    out = bytearray(header)
    out += b''.join(s.to_bytes(4, 'little') for s in fat)
    out += directory
    out += b''.join(s.to_bytes(4, 'little') for s in minifat).ljust(minifat_sectors * SECTOR, b'\xff')
    out += bytes(mini).ljust(mini_sectors * SECTOR, b'\x00')
    out += body
    assert len(out) == SECTOR * (1 + total)
    return bytes(out)
