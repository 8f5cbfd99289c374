# The data sets of the whole-command benchmarks, each from a fixed seed,
# under the directory given:
#   python3 bench/data_sets.py mixed DIR   many/ holds 1,000 files of 1 KiB to
#       1 MiB (sizes skewed towards small ones, about 100 MiB in all), even
#       ones text-like, odd ones random; big/ holds one 256 MiB file,
#       text-like and random in alternate 1 MiB blocks.
#   python3 bench/data_sets.py modify DIR  data/ holds 64 files of 16 MiB,
#       text-like and random in 1 MiB blocks (one in four text-like); new/
#       holds one.bin, 1 MiB half text-like, half random.
#   python3 bench/data_sets.py tiny DIR    tiny/ holds 100,000 files of 1 to
#       200 random bytes.
import os, random, sys

BLOCK = 1 << 20


class Source:
    """Text-like and random bytes from one seeded generator."""

    def __init__(self, seed):
        self.rng = random.Random(seed)
        letters = "etaoinshrdlucmfwypvbgkjqxz"
        self.vocabulary = ["".join(self.rng.choices(letters, k=self.rng.randint(1, 10)))
                           for _ in range(4000)]
        self.ends = [" "] * 12 + [", ", ". ", "\n"]

    def text(self, size):
        out, length = [], 0
        while length < size:
            words = self.rng.choices(self.vocabulary, k=4096)
            seps = self.rng.choices(self.ends, k=4096)
            chunk = "".join(w + s for w, s in zip(words, seps))
            out.append(chunk)
            length += len(chunk)
        return "".join(out).encode()[:size]

    def noise(self, size):
        return self.rng.randbytes(size)


def write(path, *pieces):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        for piece in pieces:
            f.write(piece)


def mixed(work):
    src = Source(20261206)
    for i in range(1000):
        size = int(1024 * 1024 ** (src.rng.random() ** 1.55))
        name = "f%04d.%s" % (i, "txt" if i % 2 == 0 else "bin")
        write(os.path.join(work, "many", name), src.text(size) if i % 2 == 0 else src.noise(size))
    write(os.path.join(work, "big", "big.dat"),
          *(src.text(BLOCK) if i % 2 == 0 else src.noise(BLOCK) for i in range(256)))


def modify(work):
    src = Source(20261207)
    for i in range(64):
        write(os.path.join(work, "data", "f%02d.dat" % i),
              *(src.text(BLOCK) if (i + b) % 4 == 0 else src.noise(BLOCK) for b in range(16)))
    write(os.path.join(work, "new", "one.bin"), src.text(BLOCK // 2) + src.noise(BLOCK // 2))


def tiny(work):
    rng = random.Random(27)
    os.makedirs(os.path.join(work, "tiny"), exist_ok=True)
    for i in range(100000):
        with open(os.path.join(work, "tiny", "t%06d" % i), "wb") as f:
            f.write(rng.randbytes(rng.randint(1, 200)))


if __name__ == "__main__":
    {"mixed": mixed, "modify": modify, "tiny": tiny}[sys.argv[1]](sys.argv[2])
