"""Generates the benchmark trees once: many small files, and a few large ones."""
import os
import random
import shutil
import sys


def make_small(root, count):
    rng = random.Random(1)
    directories = max(1, count // 50)
    total = 0
    for d in range(directories):
        path = os.path.join(root, f"dir{d // 20:03d}", f"sub{d:04d}")
        os.makedirs(path, exist_ok=True)
    for i in range(count):
        d = i % directories
        path = os.path.join(root, f"dir{d // 20:03d}", f"sub{d:04d}", f"file{i:06d}.dat")
        size = rng.randint(1024, 8192)
        with open(path, "wb") as f:
            f.write(rng.randbytes(size))
        total += size
    return count, total


def make_large(root, mib):
    os.makedirs(root, exist_ok=True)
    files = 4
    chunk = os.urandom(1 << 20)
    per_file = mib // files
    for i in range(files):
        with open(os.path.join(root, f"large{i}.bin"), "wb") as f:
            for _ in range(per_file):
                f.write(chunk)
    return files, per_file * files << 20


def main():
    base, small_count, large_mib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    for name, make, arg in (("small", make_small, small_count), ("large", make_large, large_mib)):
        count_file = os.path.join(base, name + ".count")
        tree = os.path.join(base, name)
        if os.path.exists(count_file):
            with open(count_file) as f:
                recorded = f.read().split()
            if recorded[2:] == [str(arg)]:
                continue  # generated before with the same size
            shutil.rmtree(tree, ignore_errors=True)
        files, size = make(tree, arg)
        with open(count_file, "w") as f:
            f.write(f"{files} {size} {arg}\n")


if __name__ == "__main__":
    main()
