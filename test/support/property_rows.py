#!/usr/bin/env python3
"""A copy of a package whose Property table holds <rows> rows, every one a
copy of its ProductCode row, made at the compound file's structure (msibuild
would take minutes for millions of rows): the table's stream is written anew
behind the file's end, and the FAT and DIFAT with it.

Usage: property_rows.py <package> <copy> <rows>
"""
import struct
import sys

FREE, END, FATSECT, DIFSECT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC


def encoded_table_name(name):
    """A table's stream name as Windows Installer stores it."""
    def mime(c):
        for first, last, base in (('0', '9', 0), ('A', 'Z', 10), ('a', 'z', 36)):
            if first <= c <= last:
                return ord(c) - ord(first) + base
        return {'.': 62, '_': 63}.get(c)
    out, i = [0x4840], 0
    while i < len(name):
        low = mime(name[i])
        high = mime(name[i + 1]) if i + 1 < len(name) else None
        if low is not None and high is not None:
            out.append(0x3800 + (high << 6) + low)
            i += 2
        else:
            out.append(0x4800 + low)
            i += 1
    return ''.join(map(chr, out))


def main():
    data = bytearray(open(sys.argv[1], 'rb').read())
    rows = int(sys.argv[3])
    size = 1 << struct.unpack_from('<H', data, 30)[0]
    assert size == 512
    per = size // 4
    fat_count = struct.unpack_from('<I', data, 44)[0]
    assert fat_count <= 109 and struct.unpack_from('<I', data, 72)[0] == 0
    fat = []
    for sector in struct.unpack_from('<109I', data, 76)[:fat_count]:
        fat += struct.unpack_from(f'<{per}I', data, (sector + 1) * size)
    offset = lambda sector: (sector + 1) * size

    def chain(first):
        while first != END:
            yield first
            first = fat[first]

    def stream(entry):
        length = struct.unpack_from('<I', data, entry + 120)[0]
        first = struct.unpack_from('<I', data, entry + 116)[0]
        if length >= 4096:
            return b''.join(bytes(data[offset(s):offset(s) + size]) for s in chain(first))[:length]
        mini_fat = [v for s in chain(struct.unpack_from('<I', data, 60)[0])
                    for v in struct.unpack_from(f'<{per}I', data, offset(s))]
        root = b''.join(bytes(data[offset(s):offset(s) + size]) for s in chain(struct.unpack_from('<I', data, directory[0] + 116)[0]))
        out = b''
        while first != END:
            out += root[first * 64:first * 64 + 64]
            first = mini_fat[first]
        return out[:length]

    directory = [offset(s) + 128 * i for s in chain(struct.unpack_from('<I', data, 48)[0]) for i in range(4)]
    named = {bytes(data[e:e + struct.unpack_from('<H', data, e + 64)[0] - 2]).decode('utf-16-le', 'surrogatepass'): e
             for e in directory if struct.unpack_from('<H', data, e + 64)[0] > 0}
    pool = stream(named[encoded_table_name('_StringPool')])
    strings = stream(named[encoded_table_name('_StringData')])
    assert struct.unpack_from('<I', pool, 0)[0] & 0x80000000 == 0, 'ids of 3 bytes'
    ids, at, i = {}, 0, 4
    while i < len(pool):
        length, refs = struct.unpack_from('<HH', pool, i)
        i += 4
        if length == 0 and refs:
            length = refs | struct.unpack_from('<HH', pool, i)[0] << 16
            i += 4
        ids.setdefault(strings[at:at + length], (i - 4) // 4)
        at += length
    table = stream(named[encoded_table_name('Property')])
    old_rows = len(table) // 4
    names = struct.unpack_from(f'<{old_rows}H', table, 0)
    values = struct.unpack_from(f'<{old_rows}H', table, 2 * old_rows)
    row = names.index(ids[b'ProductCode'])
    new = struct.pack('<H', names[row]) * rows + struct.pack('<H', values[row]) * rows

    # The new stream's sectors behind the file, then the FAT's and DIFAT's.
    first = (len(data) + size - 1) // size - 1
    stream_sectors = (len(new) + size - 1) // size
    fat_sectors = difat_sectors = 0
    while True:
        total = first + stream_sectors + fat_sectors + difat_sectors
        need_fat = (total + per - 1) // per
        need_difat = max(0, (need_fat - 109 + per - 2) // (per - 1))
        if (need_fat, need_difat) == (fat_sectors, difat_sectors):
            break
        fat_sectors, difat_sectors = need_fat, need_difat
    fat = fat[:first] + [FREE] * (first - len(fat[:first]))
    fat = [FREE if v == FATSECT else v for v in fat]
    fat += list(range(first + 1, first + stream_sectors)) + [END]
    fat_start = first + stream_sectors
    fat += [FATSECT] * fat_sectors + [DIFSECT] * difat_sectors
    fat += [FREE] * (fat_sectors * per - len(fat))
    data += bytes(offset(first) - len(data))
    data += new + bytes(stream_sectors * size - len(new))
    data += struct.pack(f'<{len(fat)}I', *fat)
    fat_list = list(range(fat_start, fat_start + fat_sectors))
    difat_start = fat_start + fat_sectors
    rest = fat_list[109:]
    for d in range(difat_sectors):
        entries = rest[d * (per - 1):(d + 1) * (per - 1)]
        entries += [FREE] * (per - 1 - len(entries))
        data += struct.pack(f'<{per}I', *entries, difat_start + d + 1 if d + 1 < difat_sectors else END)
    struct.pack_into('<I', data, 44, fat_sectors)
    struct.pack_into('<109I', data, 76, *(fat_list[:109] + [FREE] * (109 - len(fat_list[:109]))))
    struct.pack_into('<II', data, 68, difat_start if difat_sectors else END, difat_sectors)
    entry = named[encoded_table_name('Property')]
    struct.pack_into('<III', data, entry + 116, first, len(new), 0)
    open(sys.argv[2], 'wb').write(data)


main()
