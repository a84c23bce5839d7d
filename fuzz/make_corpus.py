#!/usr/bin/env python3
"""Writes the fuzz seed corpus: small valid archives of the kinds the reader
must handle. usage: make_corpus.py LIBZIP32.SO OUTDIR"""
import ctypes
import io
import os
import struct
import sys
import tempfile
import zipfile
import zlib

lib_path, out = sys.argv[1], sys.argv[2]
os.makedirs(out, exist_ok=True)


def engine_archive(name, encrypt):
    """An archive written by the engine itself, through its exports."""
    lib = ctypes.CDLL(lib_path)
    PRINT = ctypes.CFUNCTYPE(ctypes.c_uint32, ctypes.c_char_p, ctypes.c_uint32)
    COMMENT = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_char_p)
    PASSWORD = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p)
    SERVICE = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_char_p, ctypes.c_uint32)

    def password(buf, cap, prompt, entry):
        ctypes.memmove(buf, b"seed\0", 5)
        return 0

    keep = [PRINT(lambda t, n: n), COMMENT(lambda b: 1), PASSWORD(password), SERVICE(lambda n, s: 0)]
    callbacks = (ctypes.c_void_p * 4)(*[ctypes.cast(f, ctypes.c_void_p) for f in keep])
    assert lib.ZpInit(callbacks)
    with tempfile.TemporaryDirectory() as tree:
        os.makedirs(os.path.join(tree, "docs", "sub"))
        for rel, data in (("docs/a.txt", b"alpha\r\nbeta\n" * 20), ("docs/sub/b.bin", bytes(range(256))),
                          ("docs/\u65e5\u672c.txt", "日本".encode("utf-8"))):
            with open(os.path.join(tree, rel), "wb") as f:
                f.write(data)
        # x86-64 layout: three pointers, 29 ints, the level byte at 136.
        options = ctypes.create_string_buffer(144)
        root = ctypes.create_string_buffer((tree + "/").encode())
        empty = ctypes.create_string_buffer(b"")
        struct.pack_into("QQQ", options, 0, ctypes.addressof(empty), ctypes.addressof(root), ctypes.addressof(empty))
        ints = {20: encrypt, 48: 1, 116: 1}
        for offset, value in ints.items():
            struct.pack_into("i", options, offset + 12, value)
        options[136] = b"6"
        lib.ZpSetOptions(options)
        names = (ctypes.c_char_p * 1)(b"docs")
        path = os.path.join(out, name).encode()

        class FileList(ctypes.Structure):
            _fields_ = [("count", ctypes.c_int), ("archive", ctypes.c_char_p), ("names", ctypes.c_void_p)]

        status = lib.ZpArchive(FileList(1, path, ctypes.cast(names, ctypes.c_void_p)))
        assert status == 0, status


def zip64_archive():
    """One entry described entirely through Zip64 fields and end records."""
    name, data = b"z64.txt", b"zip64 seed\n"
    crc = zlib.crc32(data)
    local_extra = struct.pack("<HHQQ", 1, 16, len(data), len(data))
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 0, 0, 0x21, crc, 0xFFFFFFFF, 0xFFFFFFFF,
                        len(name), len(local_extra)) + name + local_extra + data
    central_extra = struct.pack("<HHQQQ", 1, 24, len(data), len(data), 0)
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0, 0, 0, 0x21, crc, 0xFFFFFFFF, 0xFFFFFFFF,
                          len(name), len(central_extra), 0, 0, 0, 0x20, 0xFFFFFFFF) + name + central_extra
    cd_offset, cd_size = len(local), len(central)
    end64_at = cd_offset + cd_size
    end64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 1, 1, cd_size, cd_offset)
    locator = struct.pack("<IIQI", 0x07064B50, 0, end64_at, 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    return local + central + end64 + locator + end


engine_archive("engine-plain.zip", 0)
engine_archive("engine-encrypted.zip", 1)
with open(os.path.join(out, "zip64.zip"), "wb") as f:
    f.write(zip64_archive())

# Data descriptors (written to a stream that cannot seek), a stub in front and a comment.
stream = io.BytesIO()


class NoSeek(io.RawIOBase):
    def writable(self):
        return True

    def write(self, b):
        return stream.write(b)


with zipfile.ZipFile(NoSeek(), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("descriptor.txt", b"written without seeking\n" * 10)
    z.comment = b"seed comment"
with open(os.path.join(out, "descriptor-comment.zip"), "wb") as f:
    f.write(stream.getvalue())
with open(os.path.join(out, "stub.zip"), "wb") as f:
    inner = io.BytesIO()
    with zipfile.ZipFile(inner, "w") as z:
        z.writestr("after-stub.txt", b"x")
    f.write(b"MZ stub bytes before the archive" + inner.getvalue())
with open(os.path.join(out, "empty.zip"), "wb") as f:
    f.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0, 0, 0, 0, 0))
