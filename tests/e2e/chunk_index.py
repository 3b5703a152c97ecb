"""The chunk index of core/chunk_index.h in Python, byte for byte what the publisher writes, and the
pieces of it a scenario needs to craft hostile variants.

    index = build_index(data)               # the honest "<file>.chunks" of `data`
    parsed = index_of(data)                 # .header, .groups, .chunks (see the dataclasses)
    parsed.chunks[3].length += 1            # ... change whatever a scenario wants to lie about
    hostile = serialize(parsed)             # back to bytes, counts taken from the header as given

The cutting rule is core/content_chunker.cpp's: a gear hash over the bytes after the first KiB of
a chunk, a cut where its top 12 (before 2 KiB) or top 10 (after) bits are zero, 16 KiB at most.
Groups end after a chunk whose digest has byte 8's low nibble zero, or after 64 chunks; a group's
tag is the first 7 bytes of SHA-256 over its chunks' 32-byte digests, a chunk's tag the first 4
bytes of its own SHA-256.
"""
import hashlib
import struct
from dataclasses import dataclass, field
from typing import List

MAGIC = b"G2CHUNK1"
GROUP_MAX_CHUNKS = 64
MIN_FILE_BYTES = 1 << 20
SUFFIX = ".chunks"

CHUNK_MIN = 1024
CHUNK_NORMAL = 2048
CHUNK_MAX = 16384

_MASK64 = (1 << 64) - 1
_MASK_BEFORE_NORMAL = (_MASK64 << 52) & _MASK64
_MASK_AFTER_NORMAL = (_MASK64 << 54) & _MASK64


def _make_gear():
    gear = []
    state = 0x676172756E326364  # "garun2cd"
    for _ in range(256):
        state = (state + 0x9E3779B97F4A7C15) & _MASK64
        z = state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & _MASK64
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & _MASK64
        gear.append(z ^ (z >> 31))
    return gear


GEAR = _make_gear()


def chunk_length(data, start):
    """The length of the chunk that starts at data[start] (ChunkLength of content_chunker.cpp)."""
    size = len(data) - start
    if size <= CHUNK_MIN:
        return size
    end = min(size, CHUNK_MAX)
    normal = min(end, CHUNK_NORMAL)
    # Only the hash's top bits are tested and a shift drops everything above bit 63, so the
    # hash is kept to 64 bits on each step (Python ints do not wrap by themselves).
    gear, mask64, h, i = GEAR, _MASK64, 0, start + CHUNK_MIN
    for stop, mask in ((start + normal, _MASK_BEFORE_NORMAL), (start + end, _MASK_AFTER_NORMAL)):
        while i < stop:
            h = ((h << 1) + gear[data[i]]) & mask64
            i += 1
            if not h & mask:
                return i - start
    return end


@dataclass
class Header:
    file_size: int
    file_sha256: bytes
    group_count: int
    chunk_count: int
    magic: bytes = MAGIC
    reserved: bytes = bytes(8)


@dataclass
class Group:
    length: int
    chunk_count: int
    tag: bytes  # 7 bytes
    first_chunk: int = 0  # ordinal of its first chunk (not serialised)


@dataclass
class Chunk:
    length: int
    tag: bytes  # 4 bytes


@dataclass
class Index:
    header: Header
    groups: List[Group] = field(default_factory=list)
    chunks: List[Chunk] = field(default_factory=list)

    def chunks_of(self, group):
        return self.chunks[group.first_chunk:group.first_chunk + group.chunk_count]


def index_of(data):
    """The parsed form of the honest index of `data`."""
    chunks, groups, digests, at, view = [], [], [], 0, memoryview(data)
    while at < len(data):
        length = chunk_length(data, at)
        digest = hashlib.sha256(view[at:at + length]).digest()
        at += length
        chunks.append(Chunk(length, digest[:4]))
        digests.append(digest)
        if (digest[8] & 0x0F) == 0 or len(digests) == GROUP_MAX_CHUNKS or at == len(data):
            first = len(chunks) - len(digests)
            groups.append(Group(sum(c.length for c in chunks[first:]), len(digests),
                                hashlib.sha256(b"".join(digests)).digest()[:7], first))
            digests = []
    header = Header(len(data), hashlib.sha256(data).digest(), len(groups), len(chunks))
    return Index(header, groups, chunks)


def serialize(index):
    """The bytes of `index`, exactly as its fields say (the header's counts are not recomputed)."""
    h = index.header
    out = [h.magic, struct.pack("<Q", h.file_size), h.file_sha256,
           struct.pack("<II", h.group_count, h.chunk_count), h.reserved]
    for g in index.groups:
        out.append(struct.pack("<IB", g.length, g.chunk_count) + g.tag)
    for c in index.chunks:
        out.append(struct.pack("<H", c.length) + c.tag)
    return b"".join(out)


def build_index(data: bytes) -> bytes:
    """What ChunkIndexBuilder (and so `garun2-release publish`) writes for `data`."""
    return serialize(index_of(data))

