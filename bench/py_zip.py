#!/usr/bin/python3
"""Python's zipfile as a benchmark peer: py_zip.py ARCHIVE ROOT NAME LEVEL.

Stores ROOT/NAME (folders and files, names relative to ROOT) deflated at
LEVEL, in sorted order.
"""
import os
import sys
import zipfile


def main():
    archive, root, name, level = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=level) as out:
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, name)):
            dirnames.sort()
            out.write(dirpath, os.path.relpath(dirpath, root))
            for file in sorted(filenames):
                path = os.path.join(dirpath, file)
                out.write(path, os.path.relpath(path, root))


if __name__ == "__main__":
    main()
