#!/usr/bin/env python3
"""Fails when a Windows exe imports a function outside an explicit list.

Windows 95 and NT 4 refuse to start a program that imports a function they
lack, so every import must be one we know they have.

    check_imports.py PROGRAM.exe ALLOWED.txt

ALLOWED.txt holds one DLL!Function per line (DLL names ignore case); '#'
starts a comment.
"""
import struct
import sys


def read_allowed(path):
    allowed = set()
    with open(path, encoding="ascii") as listing:
        for line in listing:
            entry = line.split("#", 1)[0].strip()
            if entry:
                dll, _, function = entry.partition("!")
                allowed.add((dll.lower(), function))
    return allowed


class PeImage:
    def __init__(self, data):
        self.data = data
        (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe_offset:pe_offset + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        (section_count,) = struct.unpack_from("<H", data, pe_offset + 6)
        (optional_size,) = struct.unpack_from("<H", data, pe_offset + 20)
        optional = pe_offset + 24
        (magic,) = struct.unpack_from("<H", data, optional)
        self.pe32_plus = magic == 0x20B
        directories = optional + (112 if self.pe32_plus else 96)
        self.import_rva, _ = struct.unpack_from("<II", data, directories + 8)
        self.sections = []
        table = optional + optional_size
        for index in range(section_count):
            entry = table + index * 40
            virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", data, entry + 8)
            self.sections.append((rva, max(virtual_size, raw_size), raw_offset))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} is in no section")

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self):
        descriptor = self.offset(self.import_rva)
        while True:
            lookup, _, _, name_rva, address = struct.unpack_from("<IIIII", self.data, descriptor)
            if name_rva == 0:
                return
            dll = self.text(name_rva)
            yield from ((dll, function) for function in self.functions(lookup or address))
            descriptor += 20

    def functions(self, table_rva):
        width, ordinal_flag = (8, 1 << 63) if self.pe32_plus else (4, 1 << 31)
        entry = self.offset(table_rva)
        while True:
            (thunk,) = struct.unpack_from("<Q" if width == 8 else "<I", self.data, entry)
            if thunk == 0:
                return
            if thunk & ordinal_flag:
                yield f"#{thunk & 0xFFFF}"
            else:
                yield self.text((thunk & 0x7FFFFFFF) + 2)
            entry += width


def main():
    program, allowed_path = sys.argv[1], sys.argv[2]
    allowed = read_allowed(allowed_path)
    with open(program, "rb") as image:
        imports = list(PeImage(image.read()).imports())
    unknown = [(dll, name) for dll, name in imports if (dll.lower(), name) not in allowed]
    for dll, name in unknown:
        print(f"not allowed: {dll}!{name}")
    print(f"{len(imports)} imports, {len(unknown)} outside the list")
    return 1 if unknown or not imports else 0


if __name__ == "__main__":
    sys.exit(main())
