"""The VBA project pieces of the workbook template, after MS-OVBA: the
compression of source text and directory records (2.4.1) and the data
encryption of the PROJECT stream's CMG, DPB and GC values (2.4.3)."""

CHUNK = 4096  # bytes of decompressed data per compressed chunk


def _copy_token_help(difference):
    """Bit count of the offset field and the longest copy at `difference`
    bytes into a chunk (MS-OVBA 2.4.1.3.19.1)."""
    bit_count = 4
    while (1 << bit_count) < difference:
        bit_count += 1
    length_mask = 0xFFFF >> bit_count
    return bit_count, length_mask + 3


def _match_length(data, candidate, current, end):
    """Number of bytes from `current` that repeat those from `candidate`,
    running on to `end` (the copy may overlap its own output)."""
    length = 0
    step = 1
    # Grow by doubling, then narrow down, comparing slices of the input:
    # equal slices mean a byte-by-byte copy reproduces them.
    while current + length < end:
        n = min(step, end - current - length)
        if data[candidate + length:candidate + length + n] == data[current + length:current + length + n]:
            length += n
            step *= 2
        elif n == 1:
            break
        else:
            step = max(1, n // 2)
    return length


def _compress_chunk(data, start, end):
    """One CompressedChunk (header and data) for data[start:end]."""
    out = bytearray()
    # Candidates for a match at a position share its first three bytes;
    # shorter matches are never used, so only those are scanned.
    heads = {}
    current = start
    while current < end:
        flag_at = len(out)
        out.append(0)
        flags = 0
        for bit in range(8):
            if current >= end:
                break
            best_length, best_candidate = 0, 0
            key = data[current:current + 3]
            if len(key) == 3:
                for candidate in reversed(heads.get(key, ())):
                    length = _match_length(data, candidate, current, end)
                    if length > best_length:
                        best_length, best_candidate = length, candidate
            if best_length >= 3:
                bit_count, maximum_length = _copy_token_help(current - start)
                length = min(best_length, maximum_length)
                offset = current - best_candidate
                token = ((offset - 1) << (16 - bit_count)) | (length - 3)
                out += token.to_bytes(2, 'little')
                flags |= 1 << bit
                advance = length
            else:
                out.append(data[current])
                advance = 1
            for p in range(current, current + advance):
                heads.setdefault(data[p:p + 3], []).append(p)
            current += advance
        out[flag_at] = flags
    if len(out) > CHUNK:
        # Not worth compressing: a raw chunk of exactly 4096 bytes.
        raw = data[start:end].ljust(CHUNK, b'\x00')
        return (0x3000 | (CHUNK - 1)).to_bytes(2, 'little') + raw
    header = 0x8000 | 0x3000 | (len(out) + 2 - 3)
    return header.to_bytes(2, 'little') + bytes(out)


def compress(data):
    """A CompressedContainer for `data` (MS-OVBA 2.4.1.3.6)."""
    data = bytes(data)
    out = bytearray(b'\x01')
    for start in range(0, len(data), CHUNK):
        out += _compress_chunk(data, start, min(start + CHUNK, len(data)))
    return bytes(out)


def decompress(container):
    """The bytes of a CompressedContainer (MS-OVBA 2.4.1.3.1). Raises
    ValueError on a malformed container."""
    if not container or container[0] != 0x01:
        raise ValueError('compressed container does not start with 0x01')
    out = bytearray()
    at = 1
    while at < len(container):
        if at + 2 > len(container):
            raise ValueError('truncated chunk header')
        header = int.from_bytes(container[at:at + 2], 'little')
        size = (header & 0x0FFF) + 3
        if (header >> 12) & 0x7 != 0b011:
            raise ValueError('bad chunk signature at %d' % at)
        chunk_end = min(at + size, len(container))
        at += 2
        chunk_start = len(out)
        if not header & 0x8000:
            out += container[at:at + CHUNK]
            at += CHUNK
            continue
        while at < chunk_end:
            flags = container[at]
            at += 1
            for bit in range(8):
                if at >= chunk_end:
                    break
                if flags & (1 << bit):
                    token = int.from_bytes(container[at:at + 2], 'little')
                    at += 2
                    bit_count, _ = _copy_token_help(len(out) - chunk_start)
                    length = (token & (0xFFFF >> bit_count)) + 3
                    offset = (token >> (16 - bit_count)) + 1
                    if offset > len(out) - chunk_start:
                        raise ValueError('copy token reaches before its chunk')
                    for _ in range(length):
                        out.append(out[-offset])
                else:
                    out.append(container[at])
                    at += 1
    return bytes(out)


def encrypt(data, project_id, seed):
    """The Encrypted Data Structure (MS-OVBA 2.4.3) for `data`, as the hex
    text the PROJECT stream holds. `project_id` is the "{...}" project GUID
    text; `seed` is one byte. The ignored bytes are zeros, so the result
    depends on its arguments only."""
    version = 2
    proj_key = sum(project_id.encode('ascii')) & 0xFF
    version_enc = seed ^ version
    proj_key_enc = seed ^ proj_key
    out = bytearray([seed, version_enc, proj_key_enc])
    unencrypted1, encrypted1, encrypted2 = proj_key, proj_key_enc, version_enc

    def put(byte):
        nonlocal unencrypted1, encrypted1, encrypted2
        enc = byte ^ ((encrypted2 + unencrypted1) & 0xFF)
        out.append(enc)
        encrypted2, encrypted1, unencrypted1 = encrypted1, enc, byte

    for _ in range((seed & 6) // 2):
        put(0)
    for byte in len(data).to_bytes(4, 'little'):
        put(byte)
    for byte in data:
        put(byte)
    return out.hex().upper()
