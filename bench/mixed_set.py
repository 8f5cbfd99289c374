# The data set of the whole-command benchmarks, from a fixed seed, under the
# directory given: many/ holds 1,000 files of 1 KiB to 1 MiB (sizes skewed
# towards small ones, about 100 MiB in all), even ones text-like, odd ones
# random; big/ holds one 256 MiB file, text-like and random in alternate
# 1 MiB blocks.
import os, random, sys

work = sys.argv[1]
rng = random.Random(20261206)
letters = "etaoinshrdlucmfwypvbgkjqxz"
vocabulary = ["".join(rng.choices(letters, k=rng.randint(1, 10))) for _ in range(4000)]
ends = [" "] * 12 + [", ", ". ", "\n"]

def text(size):
    out, length = [], 0
    while length < size:
        words = rng.choices(vocabulary, k=4096)
        seps = rng.choices(ends, k=4096)
        chunk = "".join(w + s for w, s in zip(words, seps))
        out.append(chunk)
        length += len(chunk)
    return "".join(out).encode()[:size]

os.makedirs(os.path.join(work, "many"), exist_ok=True)
os.makedirs(os.path.join(work, "big"), exist_ok=True)
for i in range(1000):
    size = int(1024 * 1024 ** (rng.random() ** 1.55))
    name = "f%04d.%s" % (i, "txt" if i % 2 == 0 else "bin")
    data = text(size) if i % 2 == 0 else rng.randbytes(size)
    with open(os.path.join(work, "many", name), "wb") as f:
        f.write(data)
with open(os.path.join(work, "big", "big.dat"), "wb") as f:
    block = 1 << 20
    for i in range(256):
        f.write(text(block) if i % 2 == 0 else rng.randbytes(block))
