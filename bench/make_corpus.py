#!/usr/bin/python3
"""Builds the benchmark corpus: make_corpus.py DEST [--small].

DEST gets three folders, each archived on its own by every tool:
  tree/   regular files (no links) sampled from this machine's /usr/include
          and /usr/lib/gcc: the first N relative paths in SHA-1 order, so the
          sample is spread over both trees and stays the same while packages
          come and go (N = 10,000; 1,000 with --small)
  small/  100,000 small files (2,000 with --small) of generated text, CSV
          records and random bytes, 64 B to 16 KiB, in folders of 1,000
  big/    one file of 2 GiB (64 MiB with --small) of mixed compressibility:
          runs of 64 KiB to 2 MiB of text, records, random bytes and zeros
  office/ what people archive most, about 650 MiB (65 MiB with --small),
          three quarters of it compressed already: three video-like files
          (random bytes), photo-like files of 0.1 to 1.5 MiB (random bytes),
          Office-like files (ZIP files holding deflated XML text and a
          stored image) and CSV files of records
Everything generated comes from a fixed seed, and every file and folder gets
a fixed modification time, so two builds give byte-identical corpora (the
tree part as far as the machine's trees are the same). DEST/MANIFEST lists
each part's file count, bytes and a SHA-256 of its contents; a DEST whose
MANIFEST is complete is left as it is.
"""
import hashlib
import io
import os
import random
import shutil
import sys
import zipfile

SOURCE_TREES = ("/usr/include", "/usr/lib/gcc")
FIXED_TIME = 1767225600  # 2026-01-01 00:00:00 UTC
MIB = 1 << 20


def sizes(small):
    if small:
        return {"tree_files": 1000, "small_files": 2000, "big_bytes": 64 * MIB, "office_scale": 10}
    return {"tree_files": 10000, "small_files": 100000, "big_bytes": 2048 * MIB, "office_scale": 1}


class Pools:
    """Text and record material that generated files take slices from."""

    def __init__(self, rng, pool_bytes):
        letters = "etaoinshrdlucmfwypvbgkjqxz"
        weights = [12.7, 9.1, 8.2, 7.5, 7.0, 6.7, 6.3, 6.1, 6.0, 4.3, 4.0, 2.8, 2.8, 2.4, 2.2, 2.0, 2.0, 1.9,
                   1.5, 1.0, 0.8, 0.2, 0.2, 0.2, 0.1, 0.1]
        vocabulary = ["".join(rng.choices(letters, weights, k=rng.randint(2, 11))) for _ in range(4000)]
        zipf = [1.0 / (rank + 1) for rank in range(len(vocabulary))]
        text = []
        length = 0
        while length < pool_bytes:
            line = " ".join(rng.choices(vocabulary, zipf, k=rng.randint(6, 16))) + ".\n"
            text.append(line)
            length += len(line)
        self.text = "".join(text).encode()[:pool_bytes]
        records = []
        length = 0
        hosts = ["node%02d" % n for n in range(40)]
        states = ["OK", "OK", "OK", "WARN", "FAIL", "RETRY"]
        while length < pool_bytes:
            line = "2026-%02d-%02dT%02d:%02d:%02dZ,%s,%d,%.3f,%s,%08x\n" % (
                rng.randint(1, 12), rng.randint(1, 28), rng.randint(0, 23), rng.randint(0, 59),
                rng.randint(0, 59), rng.choice(hosts), rng.randint(0, 999999), rng.uniform(-50, 150),
                rng.choice(states), rng.getrandbits(32))
            records.append(line)
            length += len(line)
        self.records = "".join(records).encode()[:pool_bytes]

    def piece(self, rng, kind, size):
        if kind == "random":
            return rng.randbytes(size)
        if kind == "zeros":
            return bytes(size)
        pool = self.text if kind == "text" else self.records
        start = rng.randrange(len(pool) - size)
        return pool[start:start + size]


def fix_times(top):
    for dirpath, dirnames, filenames in os.walk(top, topdown=False):
        for name in filenames + dirnames:
            os.utime(os.path.join(dirpath, name), (FIXED_TIME, FIXED_TIME), follow_symlinks=False)
    os.utime(top, (FIXED_TIME, FIXED_TIME))


def build_tree(dest, count):
    """Copies the sample, keeping each file's own modification time."""
    found = []
    for top in SOURCE_TREES:
        for dirpath, _, filenames in os.walk(top):
            for name in filenames:
                path = os.path.join(dirpath, name)
                if os.path.isfile(path) and not os.path.islink(path):
                    found.append(path)
    found.sort(key=lambda p: hashlib.sha1(p.encode()).hexdigest())
    chosen = sorted(found[:count])
    digest = hashlib.sha256()
    total = 0
    for path in chosen:
        target = os.path.join(dest, os.path.relpath(path, "/usr"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(path, "rb") as source:
            data = source.read()
        with open(target, "wb") as out:
            out.write(data)
        stat = os.stat(path)
        os.utime(target, ns=(stat.st_atime_ns, stat.st_mtime_ns))
        total += len(data)
        digest.update(data)
    for dirpath, dirnames, _ in os.walk(dest):
        for name in dirnames:
            os.utime(os.path.join(dirpath, name), (FIXED_TIME, FIXED_TIME))
    os.utime(dest, (FIXED_TIME, FIXED_TIME))
    return len(chosen), total, digest.hexdigest()


def build_small(dest, count, rng, pools):
    kinds = ["text", "records", "random", "zeros"]
    extensions = {"text": ".txt", "records": ".csv", "random": ".bin", "zeros": ".dat"}
    digest = hashlib.sha256()
    total = 0
    for index in range(count):
        kind = rng.choices(kinds, [55, 25, 15, 5])[0]
        size = int(64 * 256 ** rng.random())  # log-uniform, 64 B to 16 KiB
        data = pools.piece(rng, kind, size)
        folder = os.path.join(dest, "d%03d" % (index // 1000))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "f%06d%s" % (index, extensions[kind])), "wb") as out:
            out.write(data)
        digest.update(data)
        total += size
    fix_times(dest)
    return count, total, digest.hexdigest()


def build_big(dest, size, rng, pools):
    os.makedirs(dest, exist_ok=True)
    kinds = ["text", "records", "random", "zeros"]
    digest = hashlib.sha256()
    written = 0
    with open(os.path.join(dest, "mixed.bin"), "wb") as out:
        while written < size:
            kind = rng.choices(kinds, [40, 25, 25, 10])[0]
            run = min(rng.randint(64 * 1024, 2 * MIB), size - written)
            data = pools.piece(rng, kind, run)
            out.write(data)
            digest.update(data)
            written += run
    fix_times(dest)
    return 1, written, digest.hexdigest()


def office_document(rng, pools, extension):
    """A ZIP file as Office writes one: XML parts deflated, an image stored."""
    body = []
    length = rng.randint(100, 400) * 1024
    while sum(len(p) for p in body) < length:
        words = pools.piece(rng, "text", rng.randint(200, 1200)).decode("ascii").replace("\n", " ")
        body.append('<w:p><w:r><w:t xml:space="preserve">%s</w:t></w:r></w:p>' % words)
    main = "word/document.xml" if extension == ".docx" else "xl/worksheets/sheet1.xml"
    parts = [
        ("[Content_Types].xml", b'<?xml version="1.0" encoding="UTF-8"?><Types/>'),
        (main, ('<?xml version="1.0" encoding="UTF-8"?><w:document><w:body>%s</w:body></w:document>' %
                "".join(body)).encode()),
        ("docProps/core.xml", b'<?xml version="1.0" encoding="UTF-8"?><cp:coreProperties/>'),
    ]
    image = ("word/media/image1.jpeg", rng.randbytes(rng.randint(50, 500) * 1024))
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as document:
        for name, data in parts:
            document.writestr(zipfile.ZipInfo(name, (2026, 1, 1, 0, 0, 0)), data, zipfile.ZIP_DEFLATED, 6)
        document.writestr(zipfile.ZipInfo(image[0], (2026, 1, 1, 0, 0, 0)), image[1], zipfile.ZIP_STORED)
    return buffer.getvalue()


def build_office(dest, scale, rng, pools):
    digest = hashlib.sha256()
    count = total = 0

    def put(relative, data):
        nonlocal count, total
        path = os.path.join(dest, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)
        digest.update(data)
        count += 1
        total += len(data)

    for index in range(3):
        put("video/clip%02d.mp4" % index, rng.randbytes(90 * MIB // scale))
    for index in range(220 // scale):
        put("photos/2025-%02d/IMG_%04d.jpg" % (index % 12 + 1, index), rng.randbytes(rng.randint(100, 1500) * 1024))
    for index in range(120 // scale):
        extension = rng.choice([".docx", ".xlsx"])
        put("documents/report%03d%s" % (index, extension), office_document(rng, pools, extension))
    for index in range(25):
        put("data/records%02d.csv" % index, pools.piece(rng, "records", rng.randint(4 * MIB, 8 * MIB) // scale))
    fix_times(dest)
    return count, total, digest.hexdigest()


def main():
    args = [a for a in sys.argv[1:] if a != "--small"]
    if len(args) != 1:
        sys.exit("usage: make_corpus.py DEST [--small]")
    dest = args[0]
    want = sizes("--small" in sys.argv)
    manifest = os.path.join(dest, "MANIFEST")
    rng = random.Random(20261206)
    pools = Pools(rng, 16 * MIB)
    office = lambda: build_office(os.path.join(dest, "office"), want["office_scale"], random.Random(20261207), pools)
    built = []
    if os.path.exists(manifest):
        with open(manifest) as listed:
            built = [line.split() for line in listed]
    if [row[0] for row in built] == ["tree", "small", "big", "office"]:
        print("corpus already built: " + dest)
        return
    if [row[0] for row in built] == ["tree", "small", "big"]:  # made before the office part was
        shutil.rmtree(os.path.join(dest, "office"), ignore_errors=True)
        parts = [(row[0], (int(row[1]), int(row[2]), row[3])) for row in built] + [("office", office())]
    else:
        shutil.rmtree(dest, ignore_errors=True)
        os.makedirs(dest)
        parts = [
            ("tree", build_tree(os.path.join(dest, "tree"), want["tree_files"])),
            ("small", build_small(os.path.join(dest, "small"), want["small_files"], rng, pools)),
            ("big", build_big(os.path.join(dest, "big"), want["big_bytes"], rng, pools)),
            ("office", office()),
        ]
    with open(manifest + ".tmp", "w") as out:
        for name, (files, total, digest) in parts:
            out.write("%s %d %d %s\n" % (name, files, total, digest))
    os.rename(manifest + ".tmp", manifest)
    for name, (files, total, _) in parts:
        print("%-6s %7d files %12d bytes" % (name, files, total))


if __name__ == "__main__":
    main()
