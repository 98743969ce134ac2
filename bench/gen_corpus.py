#!/usr/bin/env python3
"""Writes a benchmark corpus: the same bytes for the same size and seed.

    gen_corpus.py DIR [SIZE_MIB] [SEED] [KIND]

KIND "mixed" (the default), by bytes: a quarter incompressible media-like files (1-8 MiB of random
bytes behind a small header), half structured text (logs, CSV, JSON lines,
source-like code; a few MiB per file), and a quarter small files of mixed
kinds (about 6,000 at 256 MiB, scaled with the size) in folders nested up to
four levels deep.

KIND "large": one file of SIZE_MIB, half of it compressible: 1 MiB pieces of
random bytes and of structured text taken in turn.

KIND "small": 50,000 files of 0 to 4095 bytes (SIZE_MIB is ignored) of
mixed kinds in 800 folders.
"""
import os
import random
import sys

MIB = 1 << 20

WORDS = ("alpha beta gamma delta error warning info debug request response "
         "user session token cache miss hit read write open close file path "
         "value count total index offset buffer stream block cipher key "
         "extract create archive folder entry name size time date status "
         "ok failed retry timeout connect server client queue worker job").split()


def text_chunk(rng, kind, size):
    """About `size` bytes of one kind of structured text."""
    out = []
    n = 0
    line_no = rng.randrange(1, 10000)
    while n < size:
        line_no += 1
        words = " ".join(rng.choices(WORDS, k=rng.randrange(3, 12)))
        if kind == "log":
            line = "2024-%02d-%02d %02d:%02d:%02d.%03d [%s] pid=%d %s\n" % (
                rng.randrange(1, 13), rng.randrange(1, 29), rng.randrange(24),
                rng.randrange(60), rng.randrange(60), rng.randrange(1000),
                rng.choice(("INFO", "WARN", "DEBUG", "ERROR")), rng.randrange(1, 65536), words)
        elif kind == "csv":
            line = "%d,%s,%d,%.4f,%s\n" % (line_no, rng.choice(WORDS), rng.randrange(10 ** 6),
                                           rng.random() * 1000, words)
        elif kind == "json":
            line = '{"id": %d, "name": "%s", "tags": ["%s", "%s"], "score": %.3f, "note": "%s"}\n' % (
                line_no, rng.choice(WORDS), rng.choice(WORDS), rng.choice(WORDS),
                rng.random(), words)
        else:  # source-like
            line = "    %s_%s = %s(%s, %d);  // %s\n" % (
                rng.choice(WORDS), rng.choice(WORDS), rng.choice(WORDS),
                rng.choice(WORDS), rng.randrange(4096), words)
        out.append(line)
        n += len(line)
    return "".join(out).encode()[:size]


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def media_files(rng, root, total):
    os.makedirs(root, exist_ok=True)
    done, i = 0, 0
    while done < total:
        size = min(rng.randrange(1 * MIB, 8 * MIB), total - done)
        header = b"\x00\x00\x00\x18ftypisom" if i % 2 else b"\xff\xd8\xff\xe0\x00\x10JFIF"
        write(os.path.join(root, "clip_%03d.%s" % (i, "mp4" if i % 2 else "jpg")),
              header + rng.randbytes(max(0, size - len(header))))
        done += size
        i += 1


def text_files(rng, root, total):
    os.makedirs(root, exist_ok=True)
    kinds = ("log", "csv", "json", "src")
    done, i = 0, 0
    while done < total:
        size = min(rng.randrange(2 * MIB, 6 * MIB), total - done)
        kind = kinds[i % len(kinds)]
        ext = {"log": "log", "csv": "csv", "json": "jsonl", "src": "cpp"}[kind]
        write(os.path.join(root, "%s_%03d.%s" % (kind, i, ext)), text_chunk(rng, kind, size))
        done += size
        i += 1


def small_files(rng, root, total, count):
    dirs = [root]
    os.makedirs(root, exist_ok=True)
    for d in range(max(1, count // 60)):
        parent = rng.choice(dirs)
        if parent.count(os.sep) - root.count(os.sep) >= 4:
            parent = root
        path = os.path.join(parent, "dir_%03d" % d)
        os.makedirs(path, exist_ok=True)
        dirs.append(path)
    mean = total / count
    for i in range(count):
        size = max(0, int(rng.expovariate(1 / mean))) if i % 50 else 0
        size = min(size, 16 * int(mean))
        kind = i % 4
        if kind == 0:
            data, ext = rng.randbytes(size), "bin"
        elif kind == 1:
            data, ext = bytes(size // 2) + rng.randbytes(size - size // 2), "dat"
        else:
            data, ext = text_chunk(rng, ("log", "json", "src")[i % 3], size), "txt"
        write(os.path.join(rng.choice(dirs), "f%05d.%s" % (i, ext)), data)


def large_file(rng, root, total):
    os.makedirs(root, exist_ok=True)
    # A pool of text to cut the compressible pieces from: writing 500 MiB
    # of fresh text in Python would take minutes.
    pool = b"".join(text_chunk(rng, kind, MIB) for kind in ("log", "csv", "json", "src"))
    with open(os.path.join(root, "disk.img"), "wb") as f:
        done, i = 0, 0
        while done < total:
            size = min(MIB, total - done)
            if i % 2:
                f.write(rng.randbytes(size))
            else:
                start = rng.randrange(len(pool) - MIB)
                f.write(pool[start:start + size])
            done += size
            i += 1


def many_small_files(rng, root, count):
    dirs = [os.path.join(root, "d%03d" % d) for d in range(800)]
    for d in dirs:
        os.makedirs(d, exist_ok=True)
    for i in range(count):
        size = rng.randrange(4096)
        if i % 3 == 0:
            data, ext = rng.randbytes(size), "bin"
        else:
            data, ext = text_chunk(rng, ("log", "json", "src")[i % 3], size), "txt"
        write(os.path.join(dirs[i % len(dirs)], "f%05d.%s" % (i, ext)), data)


def main():
    if len(sys.argv) < 2 or sys.argv[1].startswith("-"):
        sys.exit("usage: gen_corpus.py DIR [SIZE_MIB] [SEED] [mixed|large|small]")
    root = sys.argv[1]
    size = int(float(sys.argv[2]) * MIB) if len(sys.argv) > 2 else 256 * MIB
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 1234
    kind = sys.argv[4] if len(sys.argv) > 4 else "mixed"
    rng = random.Random(seed)
    if kind == "large":
        return large_file(rng, root, size)
    if kind == "small":
        return many_small_files(rng, root, 50000)
    media_files(rng, os.path.join(root, "media"), size // 4)
    text_files(rng, os.path.join(root, "text"), size // 2)
    count = max(100, 6000 * size // (256 * MIB))
    small_files(rng, os.path.join(root, "small"), size // 4, count)


if __name__ == "__main__":
    main()
