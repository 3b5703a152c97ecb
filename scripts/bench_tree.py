"""Trees of random files for the benchmarks: make_tree's log-uniform sizes (many small files, a few
large ones) scaled to a total, and make_game_tree's sizes of a real game's files (in
bench/data/game_file_sizes.txt) in nested folders. Files already there at the right size are kept,
so a kept tree is made once. text_bytes makes text-like data that compresses as game scripts and
tables do."""
import os
import random
from pathlib import Path

GAME_SIZES = Path(__file__).resolve().parents[1] / "bench" / "data" / "game_file_sizes.txt"


def make_tree(tree, count, total, seed=2):
    """Makes `count` files of `total` bytes in all under `tree`; answers their paths."""
    rng = random.Random(seed)
    sizes = log_uniform_sizes(rng, count, total)
    paths = [os.path.join(tree, f"data{i % 7}", f"file{i:04d}.bin") for i in range(count)]
    for path, size in zip(paths, sizes):
        write_random(path, size)
    return paths


def log_uniform_sizes(rng, count, total):
    """`count` sizes from 4 KiB to 8 MiB before scaling, log-uniform, scaled to `total` bytes."""
    weights = [2 ** rng.uniform(12, 23) for _ in range(count)]
    return [max(1, int(w * total / sum(weights))) for w in weights]


# Words of 2 to 9 letters, each with a blank or a line end after it: zstd -19 keeps about a third
# of such text, as it does of game scripts and tables.
_WORDS = random.Random("bench-text-words")
WORDS = [bytes(_WORDS.choices(b"abcdefghijklmnopqrstuvwxyz", k=_WORDS.randint(2, 9)))
         + (b"\n" if k % 10 == 0 else b" ") for k in range(3000)]


def text_bytes(rng, size):
    """`size` bytes of words drawn by `rng` from WORDS."""
    parts, made = [], 0
    while made < size:
        part = b"".join(rng.choices(WORDS, k=65536))
        parts.append(part)
        made += len(part)
    return b"".join(parts)[:size]


def write_random(path, size):
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        left = size
        while left:
            step = min(left, 8 << 20)
            out.write(os.urandom(step))
            left -= step


def game_sizes(sizes_file=GAME_SIZES):
    with open(sizes_file) as lines:
        return [int(line) for line in lines if line.strip() and not line.startswith("#")]


def make_game_tree(tree, sizes_file=GAME_SIZES, seed=2):
    """Makes one file of each size in `sizes_file` under `tree`, in shuffled order, and removes any
    other file there; answers their paths. The folders grow as a random tree up to six deep (each
    new one under a folder drawn from those made so far, one folder for every six files), and each
    file goes to a folder drawn with a Pareto weight, so that, as in the game the sizes come from
    (749 folders holding a median of 2 files and at most 412), most folders hold a few files and a
    few hold hundreds: a patcher that pays per folder, or per file in a folder, shows it here."""
    rng = random.Random(seed)
    sizes = game_sizes(sizes_file)
    rng.shuffle(sizes)
    folders = [()]
    for k in range(max(1, len(sizes) // 6)):
        parent = rng.choice([f for f in folders if len(f) < 6])
        folders.append(parent + (f"dir{k:03d}",))
    weights = [rng.paretovariate(1.2) for _ in folders[1:]]
    homes = rng.choices(folders[1:], weights=weights, k=len(sizes))
    paths = [os.path.join(tree, *home, f"file{i:04d}.bin") for i, home in enumerate(homes)]
    for path, size in zip(paths, sizes):
        write_random(path, size)
    wanted = set(paths)
    for folder, _, names in os.walk(tree):
        for name in names:
            if os.path.join(folder, name) not in wanted:
                os.remove(os.path.join(folder, name))
    return paths
