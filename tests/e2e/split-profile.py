#!/usr/bin/env python3
"""Splits a machine profile into what a Wine session needs.

    split-profile.py PROFILE.reg OUTDIR

A profile is REGEDIT4 text with extra [@name] sections for the machine's other
settings. Writes into OUTDIR:
  registry.reg  the registry keys that live in the registry files
  volatile.reg  the keys below HKEY_LOCAL_MACHINE\\HARDWARE, which the
                wineserver keeps in memory only, so they go in last
  wine-version  the Wine version name ([@version] wine=, default winxp)
  serial        one line "COMn STATE" per [@serial] entry
"""
import os
import sys

VOLATILE_ROOT = "HKEY_LOCAL_MACHINE\\HARDWARE"


def main():
    profile, outdir = sys.argv[1], sys.argv[2]
    with open(profile, encoding="latin-1", newline="") as source:
        lines = source.read().replace("\r\n", "\n").split("\n")
    if not lines or lines[0].lstrip("\ufeff").strip() not in (
            "REGEDIT4", "Windows Registry Editor Version 5.00"):
        sys.exit(f"{profile}: expected REGEDIT4 as the first line")

    plain, volatile = [], []
    settings = {}
    target, machine = plain, None
    for number, line in enumerate(lines[1:], start=2):
        text = line.strip()
        if text.startswith("[") and text.endswith("]"):
            name = text[1:-1].strip()
            if name.startswith("@"):
                machine = settings.setdefault(name[1:], [])
                target = None
                continue
            machine = None
            key = name.lstrip("-").upper()
            target = volatile if key == VOLATILE_ROOT or key.startswith(VOLATILE_ROOT + "\\") \
                else plain
            target.append("")
            target.append(line)
        elif machine is not None:
            if text and not text.startswith(";"):
                if "=" not in text:
                    sys.exit(f"{profile}:{number}: expected name=value")
                key, value = (part.strip() for part in text.split("=", 1))
                machine.append((key, value.strip('"')))
        elif target is not None:
            target.append(line)

    for name in sorted(set(settings) - {"version", "serial"}):
        print(f"split-profile: [@{name}] is for the simulated Windows only; ignored",
              file=sys.stderr)
    version = dict(settings.get("version", []))
    with open(os.path.join(outdir, "wine-version"), "w") as out:
        out.write(version.get("wine", "winxp") + "\n")
    with open(os.path.join(outdir, "serial"), "w") as out:
        for port, state in settings.get("serial", []):
            out.write(f"{port.upper()} {state}\n")
    for name, body in (("registry.reg", plain), ("volatile.reg", volatile)):
        with open(os.path.join(outdir, name), "w", encoding="latin-1", newline="\r\n") as out:
            out.write("REGEDIT4\n" + "\n".join(body) + "\n\n")


if __name__ == "__main__":
    main()
