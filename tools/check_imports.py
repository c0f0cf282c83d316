#!/usr/bin/env python3
"""Fails when a Windows exe could not start, or could crash on a call or an
instruction, on the oldest Windows and the oldest CPU it is built for.

    check_imports.py [--objdump PATH] PROGRAM.exe ALLOWED.txt [README.md]

Imports. Windows 95 and NT 4 refuse to start a program that imports a
function they lack, so every import must be one we know they have: ALLOWED.txt
holds one DLL!Function per line (DLL names ignore case); '#' starts a comment.
A line may go on with

    delayed   the function is delay-loaded, bound on its first call, and is
              never an ordinary import;
    @N        the function is export number N of its DLL, so an import by
              ordinal N names it.

DLLs. Windows looks for a DLL that is no known DLL in the exe's own folder
first, where anybody may have left a copy. So the exe may import only from
DLLs that ALLOWED.txt declares, with a line

    dll NAME known

as one of the system's known DLLs, which Windows always takes from the
system directory, or

    dll NAME runtime

as the C runtime the toolchain builds every program on, which some
supported Windows does not keep among its known DLLs: the README must say
where a copy beside the exe is taken.

Import slots. Every slot of the ordinary import directory and of each
delay-loaded DLL is read from the file: a slot that holds 0, a slot without a
name entry, a name entry without a slot, or an ordinal that the list does not
name fails. An ordinary slot holds its
own name entry until Windows binds it; a delay-loaded slot holds the address
of the thunk that binds it, in the exe's code, with a base relocation so that
it follows the exe when Windows moves it. GNU ld leaves the header's
delay-import directory empty, so when it is, the delay descriptors are found by
searching the image. Every DLL the list delay-loads from must have one.

Instructions. The exe must run on an i486, so every instruction in its code
(objdump's disassembly) must be one the i486 has: the 386's integer set, the
486's bswap, xadd and cmpxchg, and the 387's floating point. Anything else
fails: cmov, fcmov, fcomi and fucomi (the Pentium Pro's), the long NOP, rdtsc,
cmpxchg8b, sysenter, fxsave, any MMX or SSE register, and everything later.
Two encodings that older CPUs run as something they have are in the set:
pause (rep nop) and ud2, which faults on every CPU, as it is meant to. An
exception names its function in ALLOWED.txt:

    instruction MNEMONIC FUNCTION

with FUNCTION as the exe's symbol table names it. The symbols come from the
debug file the exe names in its debug link; they also tell the constructor
lists and exception tables at the end of .text from code. objdump is found as
--objdump says, else as i686-w64-mingw32-objdump or objdump on the PATH.

With README.md, the exe must also match what its section "The shipped exe"
says: the table whose header starts "| DLL | functions |" names every DLL the
exe imports from (first column, in backquotes) and how many functions it
imports from each (second column); the exe is no larger than the "at most
N KB" of that section; and it carries no debug sections.
"""
import argparse
import bisect
import collections
import functools
import os
import re
import shutil
import struct
import subprocess
import sys
import zlib

IMPORT_DIRECTORY, RELOCATION_DIRECTORY, DELAY_IMPORT_DIRECTORY = 1, 5, 13
RELOCS_STRIPPED = 0x0001
SECTION_CODE, SECTION_EXECUTE = 0x20, 0x20000000
I386 = 0x14C


Allowed = collections.namedtuple("Allowed", "imports delayed ordinals instructions dlls")


def parse_allowed(lines):
    imports, delayed, ordinals, instructions, dlls = set(), set(), {}, set(), {}
    for number, line in enumerate(lines, 1):
        words = line.split("#", 1)[0].split()
        if not words:
            continue
        if words[0] == "dll":
            if len(words) != 3 or words[2] not in ("known", "runtime"):
                raise ValueError(f"line {number}: expected dll NAME known or dll NAME runtime")
            dlls[words[1].lower()] = words[2]
            continue
        if words[0] == "instruction" and len(words) == 3:
            instructions.add((words[1], words[2]))
            continue
        dll, bang, function = words[0].partition("!")
        if not bang or not function:
            raise ValueError(f"line {number}: expected DLL!Function, got {words[0]!r}")
        dll = dll.lower()
        target = imports
        for word in words[1:]:
            if word == "delayed":
                target = delayed
            elif re.fullmatch(r"@\d+", word):
                ordinals[(dll, int(word[1:]))] = function
            else:
                raise ValueError(f"line {number}: unknown word {word!r}")
        target.add((dll, function))
    return Allowed(imports, delayed, ordinals, instructions, dlls)


def read_allowed(path):
    with open(path, encoding="ascii") as listing:
        return parse_allowed(listing)


Section = collections.namedtuple("Section", "name rva size raw_offset raw_size characteristics")


class PeImage:
    def __init__(self, data):
        self.data = data
        (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe_offset:pe_offset + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        (self.machine, section_count, _, symbols, self.symbol_count, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe_offset + 4)
        # Names longer than eight characters are "/offset" into the string
        # table that follows the COFF symbols.
        self.symbol_table = symbols or None
        self.string_table = symbols + self.symbol_count * 18 if symbols else None
        optional = pe_offset + 24
        (magic,) = struct.unpack_from("<H", data, optional)
        self.pe32_plus = magic == 0x20B
        if self.pe32_plus:
            (self.image_base,) = struct.unpack_from("<Q", data, optional + 24)
        else:
            (self.image_base,) = struct.unpack_from("<I", data, optional + 28)
        (self.size_of_image,) = struct.unpack_from("<I", data, optional + 56)
        directories = optional + (112 if self.pe32_plus else 96)
        (directory_count,) = struct.unpack_from("<I", data, directories - 4)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * index)
                            if index < directory_count else (0, 0) for index in range(16)]
        self.import_rva = self.directories[IMPORT_DIRECTORY][0]
        self.width, self.ordinal_flag = (8, 1 << 63) if self.pe32_plus else (4, 1 << 31)
        self.sections = []
        table = optional + optional_size
        for index in range(section_count):
            entry = table + index * 40
            name = self.section_name(data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace"))
            virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", data, entry + 8)
            (characteristics,) = struct.unpack_from("<I", data, entry + 36)
            self.sections.append(Section(name, rva, max(virtual_size, raw_size), raw_offset,
                                         raw_size, characteristics))
        self.section_names = [section.name for section in self.sections]

    def section_name(self, short):
        if not short.startswith("/") or self.string_table is None:
            return short
        try:
            start = self.string_table + int(short[1:])
            return self.data[start:self.data.index(b"\0", start)].decode("ascii", "replace")
        except ValueError:
            return short

    def section_at(self, rva):
        return next((s for s in self.sections if s.rva <= rva < s.rva + s.size), None)

    def offset(self, rva, length=1):
        """Where RVA's bytes are in the file; they must all be there."""
        section = self.section_at(rva)
        if section is None or rva + length > section.rva + section.raw_size:
            raise ValueError(f"RVA {rva:#x} is in no section's data")
        return section.raw_offset + rva - section.rva

    def thunk(self, rva):
        """The import-table entry (pointer-sized) at RVA."""
        return struct.unpack_from("<Q" if self.pe32_plus else "<I", self.data,
                                  self.offset(rva, self.width))[0]

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def rva_of(self, address, va_based):
        """The RVA an address field means, or None if it is outside the image."""
        rva = address - self.image_base if va_based else address
        return rva if 0 < rva < self.size_of_image else None

    def in_code(self, rva):
        section = self.section_at(rva)
        return section is not None and section.characteristics & (SECTION_CODE | SECTION_EXECUTE) != 0

    def relocated(self):
        """RVAs of the pointer-sized fields that Windows adjusts when it moves
        the image, or None if the image cannot be moved."""
        rva, size = self.directories[RELOCATION_DIRECTORY]
        if self.characteristics & RELOCS_STRIPPED or not rva:
            return None
        fields, block = set(), rva
        while block + 8 <= rva + size:
            page, block_size = struct.unpack_from("<II", self.data, self.offset(block, 8))
            if block_size < 8:
                break
            count = (block_size - 8) // 2
            for entry in struct.unpack_from(f"<{count}H", self.data, self.offset(block + 8, 2 * count)):
                if entry >> 12 in (3, 10):  # HIGHLOW, DIR64
                    fields.add(page + (entry & 0xFFF))
            block += block_size
        return fields

    def section_data(self, name):
        section = next((s for s in self.sections if s.name == name), None)
        return None if section is None else \
            self.data[section.raw_offset:section.raw_offset + section.raw_size]

    def debug_link(self):
        """The debug file's name and CRC-32 that the exe's debug link holds."""
        link = self.section_data(".gnu_debuglink")
        if not link or b"\0" not in link:
            return None
        end = link.index(b"\0")
        crc_at = (end + 4) & ~3
        return link[:end].decode("ascii", "replace"), struct.unpack_from("<I", link, crc_at)[0]

    def symbols(self):
        """[(address, name)] of the COFF symbol table's symbols in sections,
        sorted; section symbols (".text") left out."""
        found = []
        if self.symbol_table is None:
            return found
        index = 0
        while index < self.symbol_count:
            entry = self.symbol_table + index * 18
            raw = self.data[entry:entry + 8]
            value, section, _, _, aux = struct.unpack_from("<IhHBB", self.data, entry + 8)
            if raw[:4] == b"\0\0\0\0":
                start = self.string_table + struct.unpack_from("<I", raw, 4)[0]
                name = self.data[start:self.data.index(b"\0", start)]
            else:
                name = raw.rstrip(b"\0")
            name = name.decode("ascii", "replace")
            if 1 <= section <= len(self.sections) and not name.startswith("."):
                found.append((self.image_base + self.sections[section - 1].rva + value, name))
            index += 1 + aux
        return sorted(found)

    # Both kinds of import tables: a name table and an address table of
    # pointer-sized entries, in step, each ended by a 0 entry.

    def name_entry(self, value, va_based):
        """What a name-table entry names: "Function", "#N" for an ordinal, or
        None if it points outside the image."""
        if value & self.ordinal_flag:
            return f"#{value & 0xFFFF}"
        rva = self.rva_of(value & (self.ordinal_flag - 1), va_based)
        try:
            return None if rva is None else self.text(rva + 2)
        except (ValueError, UnicodeDecodeError):
            return None

    def walk(self, label, names_rva, slots_rva, va_based, problems):
        """The entries of one DLL's tables, each with its slot; adds to
        PROBLEMS a name entry that names nothing and a table that runs past
        the other or off its section."""
        entries = []
        try:
            for index in range(1 << 16):
                slot_rva = slots_rva + index * self.width
                value, slot = self.thunk(names_rva + index * self.width), self.thunk(slot_rva)
                if value == 0:
                    # Past a slot that holds 0 the address table may have
                    # ended, and what follows is not its own.
                    extra = 0
                    while all(entry.value for entry in entries) and \
                            self.thunk(slot_rva + extra * self.width):
                        extra += 1
                    if extra:
                        problems.append(f"{label} slot {index} at RVA {slot_rva:#x} holds {slot:#x} "
                                        f"with no name entry: the address table has {extra} "
                                        f"slot(s) past the name table's {index}")
                    return entries
                name = self.name_entry(value, va_based)
                if name is None:
                    problems.append(f"{label} slot {index}: its name entry {value:#x} "
                                    f"points outside the image")
                    name = "?"
                entries.append(Slot(index, slot_rva, slot, value, name))
        except ValueError as error:
            problems.append(f"{label}: a table runs off its section ({error})")
        return entries

    def import_tables(self, problems):
        """[(dll, descriptor's time stamp, [Slot])] of the import directory."""
        tables = []
        if not self.import_rva:
            return tables
        descriptor = self.import_rva
        while True:
            lookup, stamp, _, name_rva, address = struct.unpack_from(
                "<IIIII", self.data, self.offset(descriptor, 20))
            if name_rva == 0:
                return tables
            dll = self.text(name_rva)
            # Without a lookup table the address table is its own name table.
            tables.append((dll, stamp, self.walk(dll, lookup or address, address, False, problems)))
            descriptor += 20

    def delay_descriptor(self, rva):
        """The delay-load descriptor at RVA, or None if it cannot be one."""
        try:
            fields = struct.unpack_from("<8I", self.data, self.offset(rva, 32))
        except ValueError:
            return None
        attributes, name, module, slots, names, bound, unload, _ = fields
        if attributes not in (0, 1):
            return None
        # Attribute bit 0 says the fields are RVAs; without it they are
        # addresses, as in the first delay-load helpers.
        va_based = attributes == 0
        where = [self.rva_of(field, va_based) for field in (name, module, slots, names)]
        if None in where or where[2] == where[3]:
            return None
        if any(field and self.rva_of(field, va_based) is None for field in (bound, unload)):
            return None
        try:
            dll = self.text(where[0])
            first = self.thunk(where[3])
        except (ValueError, UnicodeDecodeError):
            return None
        if not re.fullmatch(r"[!-~]{1,255}", dll) or "." not in dll or first == 0:
            return None
        return Delay(rva, dll, va_based, where[2], where[3])

    @functools.cached_property
    def delay_descriptors(self):
        """[Delay] of every delay-loaded DLL, and whether the header's
        directory listed them (if not, they were searched for)."""
        rva, size = self.directories[DELAY_IMPORT_DIRECTORY]
        if rva:
            found = []
            for at in range(rva, rva + size - 31, 32):
                if not any(struct.unpack_from("<8I", self.data, self.offset(at, 32))):
                    break
                found.append(self.delay_descriptor(at) or Delay(at, None, False, 0, 0))
            return found, True
        found = []
        for section in self.sections:
            for at in range(section.rva, section.rva + section.raw_size - 31, 4):
                descriptor = self.delay_descriptor(at)
                if descriptor:
                    found.append(descriptor)
        return found, False


Slot = collections.namedtuple("Slot", "index rva value name_value name")
Delay = collections.namedtuple("Delay", "rva dll va_based slots_rva names_rva")


def resolve(dll, name, allowed, label, problems):
    """NAME, or the function the allow list names for an ordinal."""
    if not name.startswith("#"):
        return name
    function = allowed.ordinals.get((dll.lower(), int(name[1:])))
    if function is None:
        problems.append(f"{label}: imports ordinal {name[1:]}, which the allow list does not name")
        return name
    return function


def check_slots(image, allowed):
    """(ordinary imports, delayed imports, problems, notes): every import
    slot against its name entry and the allow list."""
    problems, notes = [], []
    imports, delayed = [], []
    for dll, stamp, entries in image.import_tables(problems):
        for slot in entries:
            label = f"{dll} slot {slot.index} ({slot.name}) at RVA {slot.rva:#x}"
            if slot.value == 0:
                problems.append(f"{label} holds 0")
            elif stamp == 0 and slot.value != slot.name_value:
                problems.append(f"{label} holds {slot.value:#x}, its name entry {slot.name_value:#x}")
            imports.append((dll, resolve(dll, slot.name, allowed, label, problems)))

    descriptors, listed = image.delay_descriptors
    if descriptors and not listed:
        notes.append("the header's delay-import directory is empty; found by searching: "
                     + ", ".join(f"{d.dll} at RVA {d.rva:#x}" for d in descriptors))
    relocated = image.relocated()
    for descriptor in descriptors:
        if descriptor.dll is None:
            problems.append(f"the delay-import directory's entry at RVA {descriptor.rva:#x} "
                            f"is not a delay-load descriptor")
            continue
        dll = descriptor.dll
        for slot in image.walk(f"{dll} (delay-loaded)", descriptor.names_rva, descriptor.slots_rva,
                               descriptor.va_based, problems):
            label = f"{dll} (delay-loaded) slot {slot.index} ({slot.name}) at RVA {slot.rva:#x}"
            thunk = image.rva_of(slot.value, True)
            if slot.value == 0:
                problems.append(f"{label} holds 0: its first call jumps to address 0")
            elif thunk is None or not image.in_code(thunk):
                problems.append(f"{label} holds {slot.value:#x}, which is not in the exe's code")
            elif relocated is not None and slot.rva not in relocated:
                problems.append(f"{label} has no base relocation: once Windows moves the exe, "
                                f"it points where the thunk was")
            delayed.append((dll, resolve(dll, slot.name, allowed, label, problems)))

    present = {descriptor.dll.lower() for descriptor in descriptors if descriptor.dll}
    for dll in sorted({dll for dll, _ in allowed.delayed} - present):
        problems.append(f"the allow list delay-loads from {dll}, "
                        f"but the exe has no delay-load descriptor for it")
    for dll in sorted({dll.lower() for dll, _ in imports + delayed} - set(allowed.dlls)):
        problems.append(f"imports from {dll}, which is no known DLL: "
                        f"Windows looks for it in the exe's own folder first")
    for kind, found, listed_as in (("", imports, allowed.imports),
                                   ("delayed ", delayed, allowed.delayed)):
        for dll, name in found:
            if (dll.lower(), name) not in listed_as:
                problems.append(f"not allowed: {kind}{dll}!{name}")
    return imports, delayed, problems, notes


# Instructions. Registers that only MMX, SSE, AVX, AVX-512, MPX and AMX have.
SIMD_REGISTER = re.compile(r"%(?:[xyz]?mm\d+|k[0-7]\b|bnd[0-3]|tmm\d)")
# The i486's instructions as objdump writes them (AT&T, with the operand size
# as a suffix where the operands leave it open). Privileged and 16-bit-only
# ones are left out: a user-mode exe has no use for them.
CONDITION = r"(?:n?(?:o|b|c|e|z|s|p|l|g|a|be|ae|le|ge)|nae|nbe|nge|nle|pe|po)"
I486 = re.compile("|".join([
    r"(?:mov|add|adc|sub|sbb|and|or|xor|cmp|test|inc|dec|neg|not|mul|imul|div|idiv"
    r"|sh[lr]|sa[lr]|ro[lr]|rc[lr]|shld|shrd|bt[src]?|bs[fr]|xchg|push|pop|lea"
    r"|movs|stos|lods|scas|cmps|xadd|cmpxchg|bound|l[defgs]s)[bwl]?",
    r"mov[sz]b[wl]|mov[sz]wl|cbtw|cwtl|cwtd|cltd|bswap",
    r"call|ret|jmp|lcall|lret|ljmp|leave|enter|int|int3|into|iret|nop|pause|ud2",
    rf"j{CONDITION}|set{CONDITION}|jc?xz|jecxz|loop(?:n?[ez])?",
    r"lahf|sahf|clc|stc|cmc|cld|std|pusha|popa|pushf|popf|pushal?|popal?|pushfl?|popfl?",
    r"xlat|aaa|aas|aam|aad|daa|das|wait|fwait",
    # The 387: loads, stores and arithmetic with their operand sizes, then the rest.
    r"fi?(?:ld|st|stp|add|addp|sub|subp|subr|subrp|mul|mulp|div|divp|divr|divrp|com|comp"
    r"|ucom|ucomp)(?:s|l|t|ll)?",
    r"fist(?:p)?(?:s|l|ll)?|fbld|fbstp|fxch|fcompp|fucompp|ftst|fxam|fchs|fabs|fsqrt|fscale"
    r"|fprem1?|frndint|fxtract|fsin|fcos|fsincos|fptan|fpatan|f2xm1|fyl2x|fyl2xp1"
    r"|fld(?:1|z|pi|l2e|l2t|lg2|ln2)|fldcw|fn?stcw|fn?stsw|fn?stenv|fldenv|fn?save|frstor"
    r"|fn?clex|fn?init|fincstp|fdecstp|ffree|fnop",
]))
PREFIXES = {"rep", "repz", "repe", "repnz", "repne", "lock", "data16", "data32", "addr16",
            "addr32", "cs", "ds", "es", "fs", "gs", "ss", "notrack", "bnd", "xacquire", "xrelease"}
LINE = re.compile(r"^\s*([0-9a-f]+):\t(.*)$")

Instruction = collections.namedtuple("Instruction", "address mnemonic text")


def parse_disassembly(text):
    """[Instruction] of `objdump -d --no-show-raw-insn` output."""
    found = []
    for line in text.splitlines():
        match = LINE.match(line)
        if not match:
            continue
        words = match.group(2).split()
        while len(words) > 1 and words[0] in PREFIXES:
            words.pop(0)
        if words:
            found.append(Instruction(int(match.group(1), 16), words[0],
                                     " ".join(match.group(2).split())))
    return found


def check_instructions(instructions, function_of, allowed):
    """(problems, {mnemonic: count} of those the i486 lacks, count allowed by the list)."""
    problems, beyond, excused = [], collections.Counter(), 0
    for instruction in instructions:
        mnemonic = instruction.mnemonic
        function = function_of(instruction.address)
        where = f"{instruction.address:#x}" + (f" in {function}" if function else "")
        if mnemonic in ("(bad)", ".byte"):
            problems.append(f"{where}: bytes objdump cannot decode as an instruction")
        elif not I486.fullmatch(mnemonic) or SIMD_REGISTER.search(instruction.text):
            beyond[mnemonic] += 1
            if (mnemonic, function) in allowed.instructions:
                excused += 1
            else:
                problems.append(f"not on the i486: {where}: {instruction.text}")
    return problems, beyond, excused


def find_objdump(given):
    if given:
        return given
    for name in ("i686-w64-mingw32-objdump", "objdump"):
        if shutil.which(name):
            return shutil.which(name)
    return None


def code_ranges(image, data_ranges):
    """[(start, end)] addresses of the code sections less DATA_RANGES."""
    ranges = []
    for section in image.sections:
        if not section.characteristics & (SECTION_CODE | SECTION_EXECUTE):
            continue
        start, end = image.image_base + section.rva, image.image_base + section.rva + section.raw_size
        for data_start, data_end in sorted(data_ranges):
            if data_start < end and data_end > start:
                if data_start > start:
                    ranges.append((start, data_start))
                start = max(start, data_end)
        if start < end:
            ranges.append((start, end))
    return ranges


def load_symbols(program, image):
    """(symbols, problems, notes) from the debug file the exe's debug link names."""
    link = image.debug_link()
    if link is None:
        return [], [], ["no debug link, so no symbols"]
    path = os.path.join(os.path.dirname(program), link[0])
    try:
        with open(path, "rb") as debug:
            data = debug.read()
    except OSError:
        return [], [], [f"no {link[0]} beside the exe, so no symbols"]
    if zlib.crc32(data) != link[1]:
        return [], [f"{link[0]} is not this exe's debug file "
                    f"(its CRC-32 differs from the debug link's)"], []
    return PeImage(data).symbols(), [], []


def check_code(program, image, objdump, delay_descriptors, allowed):
    """(problems, summary line) of the exe's instructions."""
    if image.machine != I386:
        return [], "not a 32-bit x86 exe: instructions not checked"
    if objdump is None:
        return ["no objdump found: instructions not checked"], ""
    symbols, problems, notes = load_symbols(program, image)
    # ld's script ends .text with the constructor and destructor lists and
    # the exception tables; the delay descriptors dlltool makes sit in it too.
    data_ranges = [(image.image_base + d.rva, image.image_base + d.rva + 32) for d in delay_descriptors]
    addresses = [address for address, _ in symbols]
    for address, name in symbols:
        if name == "__CTOR_LIST__":
            section = image.section_at(address - image.image_base)
            data_ranges.append((address, image.image_base + section.rva + section.size))
    if not symbols:
        notes.append("data at the end of .text is read as code")
    names = [name for _, name in symbols]

    def function_of(address):
        index = bisect.bisect_right(addresses, address) - 1
        return names[index] if index >= 0 else None

    instructions = []
    for start, end in code_ranges(image, data_ranges):
        run = subprocess.run([objdump, "-d", "--no-show-raw-insn", f"--start-address={start:#x}",
                              f"--stop-address={end:#x}", program],
                             capture_output=True, text=True)
        if run.returncode != 0:
            return problems + [f"{objdump} failed: {run.stderr.strip()}"], ""
        instructions += parse_disassembly(run.stdout)
    found, beyond, excused = check_instructions(instructions, function_of, allowed)
    missing = sum(problem.startswith("not on the i486") for problem in found)
    summary = (f"{len(instructions)} instructions; {sum(beyond.values())} that the i486 lacks"
               + (" (" + ", ".join(f"{count} {name}" for name, count in beyond.most_common()) + ")"
                  if beyond else "")
               + f", {excused} of them in the allow list; {len(found) - missing} undecodable")
    return problems + found, "; ".join([summary] + notes)


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
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--objdump")
    parser.add_argument("program")
    parser.add_argument("allowed")
    parser.add_argument("readme", nargs="?")
    args = parser.parse_args()
    allowed = read_allowed(args.allowed)
    with open(args.program, "rb") as exe:
        data = exe.read()
    image = PeImage(data)

    imports, delayed, problems, notes = check_slots(image, allowed)
    for line in problems + [f"note: {note}" for note in notes]:
        print(line)
    print(f"{len(imports)} imports and {len(delayed)} delay-loaded; "
          f"{len(problems)} problems with their slots or the allow list")

    code_problems, summary = check_code(args.program, image, find_objdump(args.objdump),
                                        image.delay_descriptors[0], allowed)
    for line in code_problems:
        print(line)
    print(summary)

    readme_problems = []
    if args.readme:
        readme_problems = check_readme(args.readme, image, len(data), imports)
        for problem in readme_problems:
            print(problem)
        print(f"{len(data)} bytes; {len(readme_problems)} differences from the README")
    return 1 if problems or code_problems or readme_problems or not imports else 0


if __name__ == "__main__":
    sys.exit(main())
