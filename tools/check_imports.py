#!/usr/bin/env python3
"""Fails when a Windows exe imports a function outside an explicit list.

Windows 95 and NT 4 refuse to start a program that imports a function they
lack, so every import must be one we know they have.

    check_imports.py PROGRAM.exe ALLOWED.txt [README.md]

ALLOWED.txt holds one DLL!Function per line (DLL names ignore case); '#'
starts a comment.

With README.md, the exe must also match what its section "The shipped exe"
says: the table whose header starts "| DLL | functions |" names every DLL the
exe imports from (first column, in backquotes) and how many functions it
imports from each (second column); the exe is no larger than the "at most
N KB" of that section; and it carries no debug sections.
"""
import re
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
        symbols, symbol_count = struct.unpack_from("<II", data, pe_offset + 12)
        # Names longer than eight characters are "/offset" into the string
        # table that follows the COFF symbols.
        self.string_table = symbols + symbol_count * 18 if symbols else None
        (optional_size,) = struct.unpack_from("<H", data, pe_offset + 20)
        optional = pe_offset + 24
        (magic,) = struct.unpack_from("<H", data, optional)
        self.pe32_plus = magic == 0x20B
        directories = optional + (112 if self.pe32_plus else 96)
        self.import_rva, _ = struct.unpack_from("<II", data, directories + 8)
        self.sections = []
        self.section_names = []
        table = optional + optional_size
        for index in range(section_count):
            entry = table + index * 40
            name = self.section_name(data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace"))
            virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", data, entry + 8)
            self.sections.append((rva, max(virtual_size, raw_size), raw_offset))
            self.section_names.append(name)

    def section_name(self, short):
        if not short.startswith("/") or self.string_table is None:
            return short
        try:
            start = self.string_table + int(short[1:])
            return self.data[start:self.data.index(b"\0", start)].decode("ascii", "replace")
        except ValueError:
            return short

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


SECTION_TITLE = "## The shipped exe"
TABLE_HEADER = re.compile(r"^\|\s*DLL\s*\|\s*functions\s*\|")
TABLE_ROW = re.compile(r"^\|\s*`([^`]+)`\s*\|\s*(\d+)\s*\|")
SIZE_BOUND = re.compile(r"at most\s+(\d+)\s*KB")


def readme_section(text):
    """The lines of the README's section on the shipped exe."""
    lines = text.splitlines()
    try:
        start = lines.index(SECTION_TITLE)
    except ValueError:
        return None
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith("## ")), len(lines))
    return lines[start + 1:end]


def readme_facts(text):
    """{dll: function count} and the size bound in bytes the README states,
    or a message saying what it lacks."""
    section = readme_section(text)
    if section is None:
        return None, None, f"no section '{SECTION_TITLE}'"
    counts = {}
    in_table = False
    for line in section:
        if TABLE_HEADER.match(line):
            in_table = True
        elif in_table and line.startswith("|"):
            row = TABLE_ROW.match(line)
            if row:
                counts[row.group(1).lower()] = int(row.group(2))
        elif in_table:
            break
    bound = SIZE_BOUND.search(" ".join(section))
    if not counts:
        return None, None, "no table of imported DLLs"
    if bound is None:
        return None, None, "no size bound ('at most N KB')"
    return counts, int(bound.group(1)) * 1024, None


def check_readme(readme_path, image, size, imports):
    """Messages for every way the exe differs from what the README says."""
    with open(readme_path, encoding="utf-8") as readme:
        stated, bound, missing = readme_facts(readme.read())
    if missing:
        return [f"README: {missing}"]
    actual = {}
    for dll, _ in imports:
        actual[dll.lower()] = actual.get(dll.lower(), 0) + 1
    problems = []
    for dll in sorted(set(stated) | set(actual)):
        if stated.get(dll) != actual.get(dll):
            problems.append(f"README says {stated.get(dll, 0)} imports from {dll}, "
                            f"the exe has {actual.get(dll, 0)}")
    if size > bound:
        problems.append(f"the exe is {size} bytes, above the README's {bound // 1024} KB")
    debug = [name for name in image.section_names if name.startswith(".debug")]
    if debug:
        problems.append(f"the exe carries debug sections: {', '.join(debug)}")
    return problems


def main():
    if len(sys.argv) not in (3, 4):
        print(__doc__)
        return 2
    program, allowed_path = sys.argv[1], sys.argv[2]
    allowed = read_allowed(allowed_path)
    with open(program, "rb") as exe:
        data = exe.read()
    image = PeImage(data)
    imports = list(image.imports())
    unknown = [(dll, name) for dll, name in imports if (dll.lower(), name) not in allowed]
    for dll, name in unknown:
        print(f"not allowed: {dll}!{name}")
    print(f"{len(imports)} imports, {len(unknown)} outside the list")
    problems = []
    if len(sys.argv) == 4:
        problems = check_readme(sys.argv[3], image, len(data), imports)
        for problem in problems:
            print(problem)
        print(f"{len(data)} bytes; {len(problems)} differences from the README")
    return 1 if unknown or not imports or problems else 0


if __name__ == "__main__":
    sys.exit(main())
