"""A game-like tree of random files for the benchmarks: log-uniform sizes (many small files, a few
large ones) scaled to a total. Files already there at the right size are kept, so a kept tree is
made once."""
import os
import random


def make_tree(tree, count, total, seed=2):
    """Makes `count` files of `total` bytes in all under `tree`; answers their paths."""
    rng = random.Random(seed)
    weights = [2 ** rng.uniform(12, 23) for _ in range(count)]
    sizes = [max(1, int(w * total / sum(weights))) for w in weights]
    paths = []
    for i, size in enumerate(sizes):
        path = os.path.join(tree, f"data{i % 7}", f"file{i:04d}.bin")
        paths.append(path)
        if os.path.exists(path) and os.path.getsize(path) == size:
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            left = size
            while left:
                step = min(left, 8 << 20)
                out.write(os.urandom(step))
                left -= step
    return paths
