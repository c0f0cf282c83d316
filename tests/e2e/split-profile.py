#!/usr/bin/env python3
"""Splits a machine profile into what a Wine session needs.

    split-profile.py PROFILE.reg OUTDIR

A profile is REGEDIT4 text with extra [@name] sections for the machine's other
settings. Writes into OUTDIR:
  registry.reg  the registry keys that live in the registry files
  volatile.reg  the keys below HKEY_LOCAL_MACHINE\\HARDWARE, which the
                wineserver keeps in memory only, so they go in last
  version.reg   the keys that make Wine report the profile's [@version]
  serial        one line "COMn STATE" per [@serial] entry
  bits          32 or 64: the width of the profile's Windows ([@version] bits)
"""
import os
import sys

VOLATILE_ROOT = "HKEY_LOCAL_MACHINE\\HARDWARE"


def version_keys(version):
    """Registry lines that make Wine report the profile's Windows version.

    Wine's version names fix the service pack (its "winxp" is always Service
    Pack 3). Without a name, Wine reads an NT version before 6.0 from the
    registry, as NT itself keeps it, service pack included; so those versions
    are written there, and the others are given by their Wine name.
    """
    platform = int(version.get("platform", "2"))
    major = int(version.get("major", "5"))
    if platform != 2 or major >= 6:
        return ["[HKEY_CURRENT_USER\\Software\\Wine]",
                f'"Version"="{version.get("wine", "winxp")}"']
    service_pack = (int(version.get("servicepack", "0")) << 8) | \
        int(version.get("servicepackminor", "0"))
    return ["[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion]",
            f'"CurrentVersion"="{major}.{version.get("minor", "0")}"',
            f'"CurrentBuildNumber"="{version.get("build", "0")}"',
            f'"CSDVersion"="{version.get("csd", "")}"',
            "",
            "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Windows]",
            f'"CSDVersion"=dword:{service_pack:08x}']


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
    with open(os.path.join(outdir, "version.reg"), "w", encoding="latin-1") as out:
        out.write("\n".join(version_keys(dict(settings.get("version", [])))) + "\n")
    bits = dict(settings.get("version", [])).get("bits", "32")
    if bits not in ("32", "64"):
        sys.exit(f"{profile}: [@version] bits must be 32 or 64")
    with open(os.path.join(outdir, "bits"), "w") as out:
        out.write(bits + "\n")
    with open(os.path.join(outdir, "serial"), "w") as out:
        for port, state in settings.get("serial", []):
            out.write(f"{port.upper()} {state}\n")
    for name, body in (("registry.reg", plain), ("volatile.reg", volatile)):
        with open(os.path.join(outdir, name), "w", encoding="latin-1", newline="\r\n") as out:
            out.write("REGEDIT4\n" + "\n".join(body) + "\n\n")


if __name__ == "__main__":
    main()
