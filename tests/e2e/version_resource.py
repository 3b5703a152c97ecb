#!/usr/bin/env python3
"""The VERSIONINFO resource of a Windows exe, read back with wrestool (icoutils) the way Windows
reads it for the file's properties: the fixed file and product version and the string table.

Usage: version_resource.py EXE KEY=VALUE ...  checks that each string (or "FileVersionNumbers",
"ProductVersionNumbers", the fixed versions as a.b.c.d) has that value; exit status 1 names the
first that differs.
"""
import struct
import subprocess
import sys


def _align(offset):
    return (offset + 3) & ~3


def _blocks(data, start, end):
    """The version blocks (key, value bytes, children start, block end) between start and end."""
    while start + 6 <= end:
        length, value_length, kind = struct.unpack_from("<HHH", data, start)
        if length == 0:
            return
        key_end = start + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[start + 6:key_end].decode("utf-16-le")
        value_start = _align(key_end + 2)
        value_size = value_length * 2 if kind == 1 else value_length
        yield key, data[value_start:value_start + value_size], _align(value_start + value_size), \
            start + length
        start = _align(start + length)


def read(exe):
    """{"FileVersionNumbers": "a.b.c.d", "ProductVersionNumbers": ..., "Translation": "LLLL/CCCC",
    and every string of every string table}."""
    data = subprocess.run(["wrestool", "--extract", "--raw", "--type=16", str(exe)], capture_output=True,
                          check=True).stdout
    if not data:
        raise ValueError(f"{exe} has no version resource")
    key, value, children, end = next(_blocks(data, 0, len(data)))
    if key != "VS_VERSION_INFO" or struct.unpack_from("<I", value, 0)[0] != 0xFEEF04BD:
        raise ValueError(f"{exe}: not a VS_VERSION_INFO block")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", value, 8)
    numbers = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"  # noqa: E731
    found = {"FileVersionNumbers": numbers(file_ms, file_ls),
             "ProductVersionNumbers": numbers(product_ms, product_ls)}
    for section, _, section_children, section_end in _blocks(data, children, end):
        for table, table_value, table_children, table_end in _blocks(data, section_children,
                                                                     section_end):
            if section == "VarFileInfo":
                language, code_page = struct.unpack_from("<HH", table_value, 0)
                found[table] = f"{language:04X}/{code_page:04X}"
                continue
            for name, text, _, _ in _blocks(data, table_children, table_end):
                found[name] = text.decode("utf-16-le").rstrip("\0")
    return found


if __name__ == "__main__":
    resource = read(sys.argv[1])
    for expectation in sys.argv[2:]:
        name, _, expected = expectation.partition("=")
        if resource.get(name) != expected:
            sys.exit(f"{sys.argv[1]}: {name} is {resource.get(name)!r}, expected {expected!r}")
    print(f"{sys.argv[1]}: {len(sys.argv) - 2} version resource values as expected")
