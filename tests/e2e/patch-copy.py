#!/usr/bin/env python3
"""Makes a copy of the shipped exe with one thing changed, to play a Windows
that Wine can't play by itself.

    patch-copy.py EXE COPY name OLD NEW
        One string the exe passes to GetProcAddress, changed to another of the
        same length: the lookup then fails, as on a Windows without that
        export.
    patch-copy.py EXE COPY resource-type OLD NEW
        One resource type of the resource directory's top level renumbered:
        RT_MANIFEST (24) to a number that is no type, say, so that the loader
        finds no embedded manifest and reads NAME.exe.manifest beside the exe,
        as Windows XP does before the embedded one.

Checks that OLD occurs exactly once and that the copy differs from EXE in
those bytes alone, then prints one line saying what was changed.
"""
import struct
import sys

RESOURCE_DIRECTORY = 2  # the data directory's index of the resource table


def fail(message):
    sys.exit(f"patch-copy: {message}")


def section_offset(image, rva):
    """File offset of an RVA, through the section table."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        fail("not a PE file")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    table = pe + 24 + optional_size
    for index in range(sections):
        virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from(
            "<IIII", image, table + 40 * index + 8)
        if virtual_address <= rva < virtual_address + max(virtual_size, raw_size):
            return raw_offset + rva - virtual_address
    fail(f"RVA {rva:#x} lies in no section")


def resource_root(image):
    """File offset of the top-level resource directory."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    magic = struct.unpack_from("<H", image, pe + 24)[0]
    directories = pe + 24 + (96 if magic == 0x10B else 112)
    rva, size = struct.unpack_from("<II", image, directories + 8 * RESOURCE_DIRECTORY)
    if rva == 0 or size == 0:
        fail("the exe has no resources")
    return section_offset(image, rva)


def change_name(image, old, new):
    old_bytes, new_bytes = old.encode("ascii"), new.encode("ascii")
    if len(old_bytes) != len(new_bytes) or old_bytes == new_bytes:
        fail("the new name must differ from the old and be as long")
    # As a whole C string: a NUL on either side.
    whole = b"\0" + old_bytes + b"\0"
    count = image.count(whole)
    if count != 1:
        fail(f"{old} occurs {count} times as a string, not once")
    if image.count(b"\0" + new_bytes + b"\0"):
        fail(f"{new} is already in the exe")
    offset = image.index(whole) + 1
    image[offset:offset + len(old_bytes)] = new_bytes
    return f"the string {old} at file offset {offset:#x} became {new}"


def change_resource_type(image, old, new):
    root = resource_root(image)
    named, numbered = struct.unpack_from("<12xHH", image, root)
    entries = root + 16 + 8 * named
    ids = [struct.unpack_from("<I", image, entries + 8 * i)[0] for i in range(numbered)]
    if ids.count(old) != 1:
        fail(f"resource type {old} occurs {ids.count(old)} times, not once")
    if new in ids or new >= 0x10000:
        fail(f"{new} is already a resource type of the exe, or no number")
    index = ids.index(old)
    renumbered = ids[:index] + [new] + ids[index + 1:]
    # The loader finds a type by a binary search over the sorted numbers.
    if renumbered != sorted(renumbered):
        fail(f"renumbering {old} to {new} would leave the types out of order: {renumbered}")
    struct.pack_into("<I", image, entries + 8 * index, new)
    return f"the resource type {old} at file offset {entries + 8 * index:#x} became {new}"


def main():
    if len(sys.argv) != 6 or sys.argv[3] not in ("name", "resource-type"):
        fail("usage: patch-copy.py EXE COPY name|resource-type OLD NEW")
    exe, copy, kind, old, new = sys.argv[1:]
    with open(exe, "rb") as source:
        original = source.read()
    image = bytearray(original)
    if kind == "name":
        said = change_name(image, old, new)
        limit = len(old)
    else:
        said = change_resource_type(image, int(old, 0), int(new, 0))
        limit = 4
    changed = [i for i in range(len(image)) if image[i] != original[i]]
    if len(image) != len(original) or not changed or len(changed) > limit or \
            changed[-1] - changed[0] >= limit:
        fail(f"the copy differs in {len(changed)} bytes, not in the {limit} meant")
    with open(copy, "wb") as target:
        target.write(image)
    print(f"a copy of the shipped exe, changed in {len(changed)} byte(s): {said}")


if __name__ == "__main__":
    main()
