#!/usr/bin/env python3
"""Compares two compiled resource files (.res, e.g. from windres -O res) one
resource at a time: each resource is named by type, name and language and
reported as same, changed, only in the first or only in the second. For a
changed string table block the string ids whose texts differ are listed.

Usage: compare-resources.py BEFORE.res AFTER.res   (exit status 1 on any difference)
"""
import struct
import sys


def read_id(data, pos):
    """A resource type or name: 0xFFFF and a number, or a NUL-terminated UTF-16 string."""
    (first,) = struct.unpack_from("<H", data, pos)
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
    end = pos
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[pos:end].decode("utf-16-le"), end + 2


def read_res(path):
    data = open(path, "rb").read()
    resources = {}
    pos = 0
    while pos + 8 <= len(data):
        data_size, header_size = struct.unpack_from("<II", data, pos)
        rtype, p = read_id(data, pos + 8)
        name, p = read_id(data, p)
        p = (p + 3) & ~3  # the fixed fields are DWORD-aligned
        _version, _flags, language = struct.unpack_from("<IHH", data, p)
        body = data[pos + header_size:pos + header_size + data_size]
        if data_size or rtype != 0:  # the leading empty entry marks a 32-bit .res
            resources[(rtype, name, language)] = body
        pos = (pos + header_size + data_size + 3) & ~3
    return resources


def strings_of_block(block, body):
    """A string table block holds 16 counted UTF-16 strings: ids (block-1)*16 ..."""
    texts, pos = {}, 0
    for i in range(16):
        (count,) = struct.unpack_from("<H", body, pos)
        texts[(block - 1) * 16 + i] = body[pos + 2:pos + 2 + 2 * count]
        pos += 2 + 2 * count
    return texts


def main(before_path, after_path):
    before, after = read_res(before_path), read_res(after_path)
    differs = False
    for key in sorted(set(before) | set(after), key=str):
        label = "type %s name %s language %s" % key
        if key not in after or key not in before:
            print("%s: only in %s" % (label, before_path if key in before else after_path))
            differs = True
        elif before[key] == after[key]:
            print("%s: same (%d bytes)" % (label, len(before[key])))
        else:
            differs = True
            if key[0] == 6:  # RT_STRING
                old, new = strings_of_block(key[1], before[key]), strings_of_block(key[1], after[key])
                ids = [i for i in old if old[i] != new[i]]
                print("%s: changed, strings %s" % (label, ", ".join(map(str, ids))))
            else:
                print("%s: changed" % label)
    return 1 if differs else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
