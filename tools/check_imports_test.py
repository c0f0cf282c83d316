#!/usr/bin/env python3
"""The import check's reading of PE files and of objdump's disassembly, on
exes made up in memory."""
import os
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_imports  # noqa: E402

BASE, TEXT, IDATA, RELOC = 0x400000, 0x1000, 0x2000, 0x3000
CODE, DATA = 0x60000020, 0xC0000040
DELAYED = ("SetupDiGetClassDevsA", "SetupDiDestroyDeviceInfoList")
ALLOWED = """
dll kernel32.dll known
dll setupapi.dll known
kernel32.dll!GetLastError
kernel32.dll!Sleep
setupapi.dll!SetupDiGetClassDevsA delayed
setupapi.dll!SetupDiDestroyDeviceInfoList delayed
"""


class Area:
    """A section's bytes, laid out as they are added."""
    def __init__(self, rva):
        self.rva, self.data = rva, bytearray()

    def put(self, raw):
        at = self.rva + len(self.data)
        self.data += raw + bytes(-len(raw) % 4)
        return at

    def words(self, values):
        return self.put(struct.pack(f"<{len(values)}I", *values))


def pe(sections, directories):
    """A PE32 exe: SECTIONS [(name, rva, bytes, flags)], DIRECTORIES {index: (rva, size)}."""
    optional = bytearray(224)
    struct.pack_into("<H", optional, 0, 0x10B)
    struct.pack_into("<I", optional, 28, BASE)
    struct.pack_into("<I", optional, 56, 0x10000)
    struct.pack_into("<I", optional, 92, 16)
    for index, (rva, size) in directories.items():
        struct.pack_into("<II", optional, 96 + 8 * index, rva, size)
    table = 0x40 + 24 + len(optional)
    out = bytearray(0x400)
    out[0:2] = b"MZ"
    struct.pack_into("<I", out, 0x3C, 0x40)
    out[0x40:0x44] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", out, 0x44, 0x14C, len(sections), 0, 0, 0, len(optional), 0x102)
    out[0x58:0x58 + len(optional)] = optional
    for index, (name, rva, data, flags) in enumerate(sections):
        struct.pack_into("<8sIIIIIIHHI", out, table + 40 * index, name, len(data), rva, len(data),
                         len(out), 0, 0, 0, 0, flags)
        out += data
    return bytes(out)


def exe(names=("GetLastError", "Sleep"), slots=None,
        delayed=DELAYED, delayed_slots=None,
        attributes=1, in_directory=True, relocated=None, dll="kernel32.dll"):
    """kernel32.dll imported, setupapi.dll delay-loaded, both right unless
    told: SLOTS, DELAYED_SLOTS and RELOCATED edit a list of slots; a name
    given as a number is an ordinal; ATTRIBUTES 0 makes the old descriptor
    of addresses; IN_DIRECTORY False leaves it to be found by searching; DLL
    names the DLL of the ordinary imports."""
    idata = Area(IDATA)

    def entry(name, offset):
        if isinstance(name, int):
            return 0x80000000 | name
        return idata.put(b"\0\0" + name.encode() + b"\0") + offset

    lookup = [entry(name, 0) for name in names]
    lookup_rva = idata.words(lookup + [0])
    address_rva = idata.words((slots(lookup) if slots else lookup) + [0])
    dll = idata.put(dll.encode() + b"\0")
    imports = idata.words([lookup_rva, 0, 0, dll, address_rva] + [0] * 5)
    directories = {1: (imports, 40)}
    relocations = Area(RELOC)
    if delayed:
        offset = 0 if attributes else BASE
        delayed_names = [entry(name, offset) for name in delayed]
        thunks = [BASE + TEXT + 16 * index for index in range(len(delayed))]
        names_rva = idata.words(delayed_names + [0])
        slots_rva = idata.words((delayed_slots(thunks) if delayed_slots else thunks) + [0])
        dll, module = idata.put(b"setupapi.dll\0"), idata.words([0])
        descriptor = idata.words([attributes] + [field + offset for field in
                                                 (dll, module, slots_rva, names_rva)] + [0] * 11)
        if in_directory:
            directories[13] = (descriptor, 64)
        fields = [slots_rva + 4 * index for index in range(len(delayed))]
        fields = relocated(fields) if relocated else fields
        relocations.put(struct.pack(f"<II{len(fields)}H", IDATA, 8 + 2 * len(fields),
                                    *((3 << 12) | (rva - IDATA) for rva in fields)))
        directories[5] = (RELOC, len(relocations.data))
    return pe([(b".text", TEXT, bytes([0xC3]) * 0x40, CODE),
               (b".idata", IDATA, bytes(idata.data), DATA),
               (b".reloc", RELOC, bytes(relocations.data) or bytes(4), DATA)], directories)


def zero(index):
    return lambda slots: slots[:index] + [0] + slots[index + 1:]


SLOT_CASES = [
    # (what, exe's changes, more allow-list lines, the problems it must give)
    ("good", {}, "", []),
    ("good, old descriptor of addresses", {"attributes": 0}, "", []),
    ("good, descriptor found by searching", {"in_directory": False}, "", []),
    ("delayed slot holding 0", {"delayed_slots": zero(1)}, "",
     ["setupapi.dll (delay-loaded) slot 1 (SetupDiDestroyDeviceInfoList) at RVA 0x20b0 holds 0: "
      "its first call jumps to address 0"]),
    ("delayed slot holding 0, old descriptor", {"delayed_slots": zero(0), "attributes": 0}, "",
     ["setupapi.dll (delay-loaded) slot 0 (SetupDiGetClassDevsA) at RVA 0x20ac holds 0: "
      "its first call jumps to address 0"]),
    ("delayed slot holding 0, found by searching", {"delayed_slots": zero(0), "in_directory": False},
     "", ["setupapi.dll (delay-loaded) slot 0 (SetupDiGetClassDevsA) at RVA 0x20ac holds 0: "
          "its first call jumps to address 0"]),
    ("delayed slot pointing at data", {"delayed_slots": lambda s: [BASE + IDATA, s[1]]}, "",
     ["setupapi.dll (delay-loaded) slot 0 (SetupDiGetClassDevsA) at RVA 0x20ac holds 0x402000, "
      "which is not in the exe's code"]),
    ("delayed slot without relocation", {"relocated": lambda fields: fields[:1]}, "",
     ["setupapi.dll (delay-loaded) slot 1 (SetupDiDestroyDeviceInfoList) at RVA 0x20b0 has no base "
      "relocation: once Windows moves the exe, it points where the thunk was"]),
    ("ordinary slot not its name entry", {"slots": lambda s: [s[1], s[1]]}, "",
     ["kernel32.dll slot 0 (GetLastError) at RVA 0x2024 holds 0x2010, its name entry 0x2000"]),
    ("address table shorter than the name table", {"slots": lambda s: s[:1]}, "",
     ["kernel32.dll slot 1 (Sleep) at RVA 0x2028 holds 0"]),
    ("slot without a name entry", {"names": ("GetLastError",), "slots": lambda s: s + [s[0]]}, "",
     ["kernel32.dll slot 1 at RVA 0x201c holds 0x2000 with no name entry: "
      "the address table has 1 slot(s) past the name table's 1"]),
    ("ordinal the list does not name", {"names": ("GetLastError", 5)}, "",
     ["kernel32.dll slot 1 (#5) at RVA 0x2020: imports ordinal 5, which the allow list does not name",
      "not allowed: kernel32.dll!#5"]),
    ("ordinal the list names", {"names": ("GetLastError", 5)}, "kernel32.dll!Sleep @5", []),
    ("function not in the list", {"names": ("GetLastError", "Beep")}, "",
     ["not allowed: kernel32.dll!Beep"]),
    ("ordinary import the list only delay-loads", {"names": ("GetLastError", "Beep")},
     "kernel32.dll!Beep delayed",
     ["the allow list delay-loads from kernel32.dll, but the exe has no delay-load descriptor for it",
      "not allowed: kernel32.dll!Beep"]),
    ("delay-loaded import the list has as ordinary", {"delayed": DELAYED + ("SetupDiOpenDevRegKey",)},
     "setupapi.dll!SetupDiOpenDevRegKey", ["not allowed: delayed setupapi.dll!SetupDiOpenDevRegKey"]),
    ("DLL the list does not declare", {"names": ("GetLastError", "Beep"), "dll": "winspool.drv"},
     "winspool.drv!GetLastError\nwinspool.drv!Beep",
     ["imports from winspool.drv, which is no known DLL: "
      "Windows looks for it in the exe's own folder first"]),
    ("no delay-loaded DLL", {"delayed": ()}, "",
     ["the allow list delay-loads from setupapi.dll, but the exe has no delay-load descriptor for it"]),
]


class ImportSlots(unittest.TestCase):
    maxDiff = None

    def test_cases(self):
        for what, changes, allowed, expected in SLOT_CASES:
            with self.subTest(what):
                image = check_imports.PeImage(exe(**changes))
                rules = check_imports.parse_allowed((ALLOWED + allowed).splitlines())
                imports, delayed, problems, notes = check_imports.check_slots(image, rules)
                self.assertEqual(problems, expected)
                self.assertEqual(len(delayed), len(changes.get("delayed", DELAYED)))
                self.assertEqual(bool(notes), changes.get("in_directory") is False)

    def test_the_runtime_is_declared_as_such(self):
        rules = check_imports.parse_allowed(["dll MSVCRT.dll runtime", "dll kernel32.dll known"])
        self.assertEqual(rules.dlls, {"msvcrt.dll": "runtime", "kernel32.dll": "known"})

    def test_allow_list_errors(self):
        for line in ("kernel32.dll", "kernel32.dll!Sleep later", "kernel32.dll!Sleep @x",
                     "dll kernel32.dll", "dll comctl32.dll manifest", "dll msvcrt.dll runtime x"):
            with self.subTest(line), self.assertRaises(ValueError):
                check_imports.parse_allowed([line])


INSTRUCTION_CASES = [
    # (objdump's line, the function it is in, what the check makes of it:
    # "ok", "past" the i486, or "bad" bytes)
    ("addps  %xmm1,%xmm0", "_main", "past"),
    ("movq   %mm0,0x4(%esp)", "_main", "past"),
    ("emms", "_main", "past"),
    ("cmovne %ecx,%ebx", "_main", "past"),
    ("cs cmovne %eax,%ecx", "_main", "past"),
    ("fcomip %st(1),%st", "_main", "past"),
    ("fucomi %st(1),%st", "_main", "past"),
    ("fcmove %st(1),%st", "_main", "past"),
    ("nopw   0x0(%eax,%eax,1)", "_main", "past"),
    ("rdtsc", "_main", "past"),
    ("lock cmpxchg8b (%esi)", "_main", "past"),
    ("fisttpl 0x4(%esp)", "_main", "past"),
    ("tzcnt  %ebx,%ecx", "_main", "past"),
    ("tzcnt  %ebx,%ecx", "___d2b_D2A", "ok"),
    ("lock cmpxchg %ecx,(%edx)", "_main", "ok"),
    ("bswap  %eax", "_main", "ok"),
    ("rep stos %eax,%es:(%edi)", "_main", "ok"),
    ("movzbl 0x4(%esp),%eax", "_main", "ok"),
    ("fildll 0x4(%esp)", "_main", "ok"),
    ("fucompp", "_main", "ok"),
    ("setae  %al", "_main", "ok"),
    ("pause", "_main", "ok"),
    ("(bad)", "_main", "bad"),
]


class Instructions(unittest.TestCase):
    def test_cases(self):
        rules = check_imports.parse_allowed(["instruction tzcnt ___d2b_D2A"])
        for line, function, verdict in INSTRUCTION_CASES:
            with self.subTest(line=line, function=function):
                text = f"Disassembly of section .text:\n\n00401000 <.text>:\n  401000:\t{line}\n\t...\n"
                instructions = check_imports.parse_disassembly(text)
                problems, beyond, _ = check_imports.check_instructions(
                    instructions, lambda address: function, rules)
                self.assertEqual(len(instructions), 1)
                self.assertEqual(problems, {
                    "ok": [],
                    "past": [f"not on the i486: 0x401000 in {function}: {' '.join(line.split())}"],
                    "bad": [f"0x401000 in {function}: bytes objdump cannot decode as an instruction"],
                }[verdict])
                self.assertEqual(sum(beyond.values()), int(line.startswith("tzcnt") or verdict == "past"))

    def test_one_cmov_in_an_exe_fails(self):
        objdump = check_imports.find_objdump(None)
        if objdump is None:
            self.skipTest("no objdump on the PATH to disassemble with")
        rules = check_imports.parse_allowed([])
        # xor %eax,%eax; ret -- then cmove %ecx,%eax before the ret.
        for code, expected in ((b"\x31\xc0\xc3", []),
                               (b"\x31\xc0\x0f\x44\xc1\xc3", ["not on the i486: 0x401002: cmove %ecx,%eax"])):
            with self.subTest(code=code.hex()), tempfile.TemporaryDirectory() as directory:
                program = os.path.join(directory, "synthetic.exe")
                data = pe([(b".text", TEXT, code + b"\xcc" * (16 - len(code)), CODE)], {})
                with open(program, "wb") as out:
                    out.write(data)
                problems, _ = check_imports.check_code(program, check_imports.PeImage(data), objdump,
                                                       [], rules)
                self.assertEqual(problems, expected)

    def test_code_ranges_leave_out_data(self):
        image = check_imports.PeImage(exe())
        self.assertEqual(check_imports.code_ranges(image, [(0x401010, 0x401020), (0x401030, 0x401100)]),
                         [(0x401000, 0x401010), (0x401020, 0x401030)])


if __name__ == "__main__":
    unittest.main()
