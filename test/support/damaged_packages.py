#!/usr/bin/env python3
"""Damaged copies of a package, made at its compound file's structure.

Usage: damaged_packages.py <package> <directory> <count> <seed>
       damaged_packages.py <package> <directory> --named [<name>...]

With a count, writes <count> copies as 000.msi, 001.msi, ..., each with one
kind of damage (a FAT chain that loops, a DIFAT count far beyond the file, a
directory tree with a cycle, a stream longer than its chain, a header field
changed, a random FAT, mini FAT or directory field, a field of the summary
information, the file cut short, a DIFAT that starts outside the file or
points at itself, a directory entry's name of a length no name has); the same
seed gives the same copies. With --named, writes one copy of each of the
first three kinds, named after it (fat-loop.msi, difat-count.msi,
directory-cycle.msi), one with a damaged summary information (summary.msi),
and one of each of the last four (cut-short.msi, difat-start.msi,
difat-self.msi, name-length.msi); given names, only those.
"""
import random
import struct
import sys

ENDOFCHAIN = 0xFFFFFFFE
NOSTREAM = 0xFFFFFFFF


class CompoundFile:
    def __init__(self, data):
        self.data = bytearray(data)
        self.sector_size = 1 << struct.unpack_from('<H', data, 30)[0]
        fat_count = struct.unpack_from('<I', data, 44)[0]
        fat_sectors = list(struct.unpack_from('<109I', data, 76))[:fat_count]
        next_difat = struct.unpack_from('<I', data, 68)[0]
        per_sector = self.sector_size // 4
        while len(fat_sectors) < fat_count:
            entries = struct.unpack_from(f'<{per_sector}I', data, self.offset(next_difat))
            fat_sectors += entries[:-1][:fat_count - len(fat_sectors)]
            next_difat = entries[-1]
        # Where each FAT entry lies in the file.
        self.fat_places = [self.offset(s) + 4 * i for s in fat_sectors for i in range(per_sector)]
        self.directory = []
        for sector in self.chain(struct.unpack_from('<I', data, 48)[0]):
            for i in range(self.sector_size // 128):
                self.directory.append(self.offset(sector) + 128 * i)

    def offset(self, sector):
        return (sector + 1) * self.sector_size

    def fat(self, sector):
        return struct.unpack_from('<I', self.data, self.fat_places[sector])[0]

    def set_fat(self, sector, value):
        struct.pack_into('<I', self.data, self.fat_places[sector], value)

    def chain(self, first):
        sectors = []
        while first != ENDOFCHAIN and len(sectors) < len(self.fat_places):
            sectors.append(first)
            first = self.fat(first)
        return sectors

    def entry(self, index, field, size=4):
        return struct.unpack_from('<I' if size == 4 else '<B', self.data, self.directory[index] + field)[0]

    def set_entry(self, index, field, value):
        struct.pack_into('<I', self.data, self.directory[index] + field, value)

    def streams(self):
        """Directory entries of streams in regular sectors, with their chains."""
        found = []
        for index in range(len(self.directory)):
            kind = self.entry(index, 66, 1)
            size = self.entry(index, 120)
            if (kind == 5 and size > 0) or (kind == 2 and size >= 4096):
                found.append((index, self.chain(self.entry(index, 116))))
        return found


def fat_loop(cf, rng):
    index, chain = max(cf.streams(), key=lambda found: len(found[1]))
    cf.set_fat(chain[-1], chain[rng.randrange(len(chain))])


def difat_count(cf, rng):
    struct.pack_into('<I', cf.data, 72, 0x3FFFFFFF)
    struct.pack_into('<I', cf.data, 44, 0x3FFFFFFF)


def directory_cycle(cf, rng):
    used = [i for i in range(1, len(cf.directory)) if cf.entry(i, 66, 1) in (1, 2)]
    victim = rng.choice(used)
    cf.set_entry(victim, 68 + 4 * rng.randrange(2), rng.choice([victim, 0] + used))


def stream_too_long(cf, rng):
    index, chain = rng.choice(cf.streams())
    cf.set_entry(index, 120, cf.entry(index, 120) + rng.choice([cf.sector_size, 1 << 20, 0x7FFFFFFF]))


def header_field(cf, rng):
    field, size = rng.choice([(24, 2), (26, 2), (28, 2), (30, 2), (32, 2), (44, 4), (48, 4), (56, 4),
                              (60, 4), (64, 4), (68, 4), (72, 4), (76 + 4 * rng.randrange(4), 4)])
    value = rng.choice([0, 1, 0xFFFF, 0xFFFFFFFE, 0xFFFFFFFF, rng.randrange(1 << 16), rng.randrange(1 << 32)])
    cf.data[field:field + size] = (value & ((1 << 8 * size) - 1)).to_bytes(size, 'little')


def fat_entry(cf, rng):
    for _ in range(rng.randint(1, 4)):
        sector = rng.randrange(min(len(cf.fat_places), len(cf.data) // cf.sector_size))
        cf.set_fat(sector, rng.choice([sector, 0, ENDOFCHAIN, 0xFFFFFFFF, 0xFFFFFFFD,
                                       rng.randrange(len(cf.data) // cf.sector_size + 8)]))


def directory_field(cf, rng):
    index = rng.randrange(len(cf.directory))
    field = rng.choice([64, 66, 68, 72, 76, 116, 120, 124])
    if field in (64, 66):
        cf.data[cf.directory[index] + field] = rng.randrange(256)
    else:
        cf.set_entry(index, field, rng.choice([NOSTREAM, 0, rng.randrange(len(cf.directory) + 4),
                                               rng.randrange(1 << 32)]))


def mini_fat(cf, rng):
    first = struct.unpack_from('<I', cf.data, 60)[0]
    sectors = cf.chain(first)
    if not sectors:
        return header_field(cf, rng)
    at = cf.offset(rng.choice(sectors)) + 4 * rng.randrange(cf.sector_size // 4)
    struct.pack_into('<I', cf.data, at, rng.choice([0, 1, ENDOFCHAIN, 0xFFFFFFFF, rng.randrange(1 << 16)]))


def summary_stream(cf, rng, section_offset=None):
    """Changes a field of the summary information's property set (or sets
    its section's offset)."""
    index = next(i for i in range(len(cf.directory))
                 if cf.data[cf.directory[i]:cf.directory[i] + 38] == '\x05SummaryInformation'.encode('utf-16-le'))
    mini_fat = [struct.unpack_from('<I', cf.data, cf.offset(s) + 4 * i)[0]
                for s in cf.chain(struct.unpack_from('<I', cf.data, 60)[0]) for i in range(cf.sector_size // 4)]
    mini_stream = cf.chain(cf.entry(0, 116))
    places, sector = [], cf.entry(index, 116)
    while sector != ENDOFCHAIN and len(places) < 64 * cf.entry(index, 120):
        at = sector * 64
        places += [cf.offset(mini_stream[at // cf.sector_size]) + at % cf.sector_size + i for i in range(64)]
        sector = mini_fat[sector]
    section = struct.unpack_from('<I', bytes(cf.data[p] for p in places[44:48]))[0]
    field = rng.choice([0, 24, 44, section, section + 4, section + 12]) if section_offset is None else 44
    value = rng.choice([b'\xff\xff\xff\x7f', b'\0\0\0\0', b'\x00\x10\x00\x00']) if section_offset is None \
        else struct.pack('<I', section_offset)
    for i, byte in enumerate(value):
        cf.data[places[field + i]] = byte


def cut_short(cf, rng):
    """The last sector cut short, by one byte or by most of it."""
    del cf.data[len(cf.data) - rng.choice([1, 1, rng.randrange(1, cf.sector_size)]):]


def difat_start(cf, rng):
    """No DIFAT sector counted, and its start outside the file."""
    sectors = len(cf.data) // cf.sector_size
    struct.pack_into('<I', cf.data, 68, rng.choice([sectors, sectors + rng.randrange(1 << 16),
                                                    rng.randrange(sectors, 0xFFFFFFFA)]))


def difat_self(cf, rng):
    """A DIFAT sector whose pointer to the next leads back to itself: in a
    package with DIFAT sectors, one of its own; in another, one sector made
    the only DIFAT sector, which the FAT does not need."""
    count = struct.unpack_from('<I', cf.data, 72)[0]
    sector = struct.unpack_from('<I', cf.data, 68)[0]
    if count == 0:
        sector = rng.randrange(len(cf.data) // cf.sector_size - 1)
        struct.pack_into('<II', cf.data, 68, sector, 1)
    else:
        for _ in range(rng.randrange(count)):
            sector = struct.unpack_from('<I', cf.data, cf.offset(sector + 1) - 4)[0]
    struct.pack_into('<I', cf.data, cf.offset(sector + 1) - 4, sector)


def name_length(cf, rng):
    """A directory entry's name of length 0, odd, or not ending where its
    length says."""
    used = [i for i in range(len(cf.directory)) if cf.entry(i, 66, 1) in (1, 2, 5)]
    length = cf.entry(rng.choice(used), 64, 1)
    cf.data[cf.directory[rng.choice(used)] + 64] = rng.choice([0, 1, rng.randrange(1, 64, 2),
                                                                max(2, length - 2), min(64, length + 2)])


KINDS = [fat_loop, difat_count, directory_cycle, stream_too_long, header_field, fat_entry, directory_field,
         mini_fat, summary_stream, cut_short, difat_start, difat_self, name_length]


def main():
    data = open(sys.argv[1], 'rb').read()
    directory = sys.argv[2]
    if sys.argv[3] == '--named':
        for kind, name in ((fat_loop, 'fat-loop'), (difat_count, 'difat-count'),
                           (directory_cycle, 'directory-cycle'),
                           (lambda cf, rng: summary_stream(cf, rng, 0x7FFFFFF0), 'summary'),
                           (cut_short, 'cut-short'), (difat_start, 'difat-start'), (difat_self, 'difat-self'),
                           (name_length, 'name-length')):
            if sys.argv[4:] and name not in sys.argv[4:]:
                continue
            cf = CompoundFile(data)
            kind(cf, random.Random(1))
            open(f'{directory}/{name}.msi', 'wb').write(cf.data)
        return
    rng = random.Random(int(sys.argv[4]))
    for i in range(int(sys.argv[3])):
        cf = CompoundFile(data)
        KINDS[i % len(KINDS)](cf, rng)
        open(f'{directory}/{i:03}.msi', 'wb').write(cf.data)


main()
