#!/usr/bin/env python3
"""Writes a machine profile for the discovery benchmark under Wine.

    make_machine.py --version NAME [--ports N] [--others N] [--base PROFILE]

Without --base, the machine has N COM ports (COM1 upwards; serial, USB,
Bluetooth and infrared ones), each a device instance of the ports class with
its PortName and FriendlyName, a present COM-port interface and a value in
the serial-port map, and every one of them present, so that the session backs
it with a pseudo-terminal. Then come --others device instances of other
classes. With --base, the registry and the serial ports are those of PROFILE
(the demo machine, say) and only the Windows version is replaced.

NAME is winxp, win10 or nt40. The profile goes to standard output.
"""
import argparse
import sys

PORTS_CLASS_GUID = "{4D36E978-E325-11CE-BFC1-08002BE10318}"
COMPORT_INTERFACE = "{86E0D1E0-8089-11D0-9CE4-08003E301F73}"
ENUM = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum"
DEVICE_CLASSES = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses"
SERIALCOMM = "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM"

VERSIONS = {
    "winxp": [("platform", "2"), ("major", "5"), ("minor", "1"), ("build", "2600"),
              ("servicepack", "3"), ("csd", '"Service Pack 3"'), ("wine", "winxp")],
    "win10": [("platform", "2"), ("major", "10"), ("minor", "0"), ("build", "19045"),
              ("servicepack", "0"), ("csd", '""'), ("wine", "win10")],
    "nt40": [("platform", "2"), ("major", "4"), ("minor", "0"), ("build", "1381"),
             ("servicepack", "6"), ("csd", '"Service Pack 6"'), ("wine", "nt40")],
}

# One port of each kind in turn, serial and USB ports the most common:
# (kind, device description, kernel device name in the serial-port map).
PORT_KINDS = [
    ("serial", "Communications Port", "Serial"),
    ("usb", "USB Serial Port", "VCP"),
    ("serial", "Communications Port", "Serial"),
    ("usb", "USB Serial Port", "VCP"),
    ("bluetooth", "Standard Serial over Bluetooth link", "BthModem"),
    ("serial", "Communications Port", "Serial"),
    ("usb", "USB Serial Port", "VCP"),
    ("infrared", "Standard Infrared Port", "IrCOMM"),
]

OTHER_ENUMERATORS = ["ACPI", "PCI", "USB", "HID", "ROOT", "SW", "STORAGE", "SCSI"]
OTHER_CLASSES = [
    ("System", "{4D36E97D-E325-11CE-BFC1-08002BE10318}"),
    ("HIDClass", "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}"),
    ("USB", "{36FC9E60-C465-11CF-8056-444553540000}"),
    ("DiskDrive", "{4D36E967-E325-11CE-BFC1-08002BE10318}"),
    ("Net", "{4D36E972-E325-11CE-BFC1-08002BE10318}"),
]
INSTANCES_PER_DEVICE = 4


def reg_string(text):
    """A REGEDIT4 string value: backslashes and quotes escaped."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def port_instance(n, kind):
    """The device instance id of port COMn of `kind`."""
    if kind == "serial":
        return f"ACPI\\PNP0501\\{n}"
    if kind == "usb":
        return f"FTDIBUS\\VID_0403+PID_6001+BENCH{n:04d}A\\0000"
    if kind == "bluetooth":
        return ("BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\\"
                f"7&2B3C4D5E&0&0000000000{n:02X}_C00000000")
    return f"ROOT\\IRCOMM\\{n:04d}"


def port_lines(n):
    kind, description, device = PORT_KINDS[(n - 1) % len(PORT_KINDS)]
    instance = port_instance(n, kind)
    hashed = instance.replace("\\", "#")
    entry = f"{DEVICE_CLASSES}\\{COMPORT_INTERFACE}\\##?#{hashed}#{COMPORT_INTERFACE}"
    link = "\\\\?\\" + hashed + "#" + COMPORT_INTERFACE
    kernel_name = f"\\Device\\{device}{n - 1}"
    return [
        f"[{ENUM}\\{instance}]",
        '"Class"="Ports"',
        f'"ClassGUID"="{PORTS_CLASS_GUID}"',
        f'"DeviceDesc"={reg_string(description)}',
        f'"FriendlyName"={reg_string(f"{description} (COM{n})")}',
        '"Mfg"="(Standard port types)"',
        "",
        f"[{ENUM}\\{instance}\\Device Parameters]",
        f'"PortName"="COM{n}"',
        "",
        f"[{entry}]",
        f'"DeviceInstance"={reg_string(instance)}',
        "",
        f"[{entry}\\#]",
        f'"SymbolicLink"={reg_string(link)}',
        "",
        f"[{entry}\\#\\Control]",
        '"Linked"=dword:00000001',
        "",
    ], f'{reg_string(kernel_name)}="COM{n}"'


def other_lines(index):
    device = index // INSTANCES_PER_DEVICE
    enumerator = OTHER_ENUMERATORS[device % len(OTHER_ENUMERATORS)]
    class_name, class_guid = OTHER_CLASSES[device % len(OTHER_CLASSES)]
    path = f"{ENUM}\\{enumerator}\\DEV_{device:05d}\\{index % INSTANCES_PER_DEVICE}"
    lines = [
        f"[{path}]",
        f'"Class"="{class_name}"',
        f'"ClassGUID"="{class_guid}"',
        f'"DeviceDesc"="{class_name} device {index}"',
        f'"HardwareID"="{enumerator}\\\\DEV_{device:05d}"',
        '"Mfg"="(Standard system devices)"',
        "",
    ]
    if index % 2 == 0:
        lines += [f"[{path}\\Device Parameters]", '"Instance"=dword:00000001', ""]
    return lines


def generated_registry(ports, others):
    lines = ["", f"; {ports} COM ports and {others} other device instances, generated.", ""]
    mapped = []
    for n in range(1, ports + 1):
        keys, value = port_lines(n)
        lines += keys
        mapped.append(value)
    for index in range(others):
        lines += other_lines(index)
    lines += [f"[{SERIALCOMM}]"] + mapped + [""]
    lines += ["[@serial]"] + [f"COM{n}=present" for n in range(1, ports + 1)] + [""]
    return lines


def base_registry(path):
    """The lines of the profile at `path` after its first, without [@version]."""
    with open(path, encoding="latin-1", newline="") as source:
        lines = source.read().replace("\r\n", "\n").split("\n")
    kept, skipping = [], False
    for line in lines[1:]:
        text = line.strip()
        if text.startswith("[") and text.endswith("]"):
            skipping = text[1:-1].strip().lower() == "@version"
        if not skipping:
            kept.append(line)
    return kept


def profile_text(version, ports=0, others=0, base=None):
    lines = ["REGEDIT4"]
    lines += base_registry(base) if base else generated_registry(ports, others)
    lines += ["", "[@version]"] + [f"{key}={value}" for key, value in VERSIONS[version]]
    return "\n".join(lines) + "\n"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--version", required=True, choices=sorted(VERSIONS))
    parser.add_argument("--ports", type=int, default=80)
    parser.add_argument("--others", type=int, default=0)
    parser.add_argument("--base")
    options = parser.parse_args(argv)
    if not 0 <= options.ports <= 255 or options.others < 0:
        parser.error("--ports takes 0 to 255, --others 0 or more")
    sys.stdout.write(profile_text(options.version, options.ports, options.others, options.base))


if __name__ == "__main__":
    main(sys.argv[1:])
