#!/usr/bin/env python3
"""Checks the benchmark's machine generator through the end-to-end suite's own
profile splitter, as a Wine session would read the machines."""
import os
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
GENERATOR = os.path.join(HERE, "make_machine.py")
SPLITTER = os.path.join(REPO, "tests", "e2e", "split-profile.py")
DEMO = os.path.join(REPO, "profiles", "demo.reg")
PORTS_CLASS_GUID = "{4D36E978-E325-11CE-BFC1-08002BE10318}"
COMPORT_INTERFACE = "{86E0D1E0-8089-11D0-9CE4-08003E301F73}"
ENUM = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\"
INTERFACES = ("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
              + COMPORT_INTERFACE + "\\")


def generate(*args):
    return subprocess.run([sys.executable, GENERATOR, *args], check=True,
                          capture_output=True, text=True).stdout


def split(profile_text):
    """What split-profile.py makes of a profile: {file name: text}."""
    with tempfile.TemporaryDirectory() as work:
        profile = os.path.join(work, "machine.reg")
        with open(profile, "w", encoding="latin-1") as out:
            out.write(profile_text)
        subprocess.run([sys.executable, SPLITTER, profile, work], check=True,
                       capture_output=True)
        parts = {}
        for name in ("registry.reg", "volatile.reg", "version.reg", "serial"):
            with open(os.path.join(work, name), encoding="latin-1") as part:
                parts[name] = part.read().replace("\r\n", "\n")
        return parts


def keys(reg_text):
    """{key path: {value name: raw data}} of REGEDIT4 text."""
    result, current = {}, None
    for line in reg_text.split("\n"):
        if line.startswith("[") and line.endswith("]"):
            current = result.setdefault(line[1:-1], {})
        elif current is not None and line.startswith('"') and "=" in line:
            name, data = line.split("=", 1)
            current[name.strip('"').replace("\\\\", "\\")] = data
    return result


def text_of(data):
    return data.strip('"').replace("\\\\", "\\")


class GeneratedPorts(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.parts = split(generate("--version", "winxp", "--ports", "80", "--others", "0"))
        cls.registry = keys(cls.parts["registry.reg"])

    def port_instances(self):
        """{port name: instance id} from the instance keys' port names."""
        found = {}
        for path, values in self.registry.items():
            if path.startswith(ENUM) and path.endswith("\\Device Parameters"):
                instance = path[len(ENUM):-len("\\Device Parameters")]
                found[text_of(values['PortName'])] = instance
        return found

    def test_every_port_is_a_ports_class_instance_with_its_names(self):
        instances = self.port_instances()
        self.assertEqual(sorted(instances), sorted(f"COM{n}" for n in range(1, 81)))
        for port, instance in instances.items():
            values = self.registry[ENUM + instance]
            self.assertEqual(text_of(values["Class"]), "Ports")
            self.assertEqual(text_of(values["ClassGUID"]), PORTS_CLASS_GUID)
            self.assertTrue(text_of(values["FriendlyName"]).endswith(f"({port})"))

    def test_the_ports_are_of_every_kind(self):
        descriptions = {text_of(self.registry[ENUM + instance]["DeviceDesc"]).upper()
                        for instance in self.port_instances().values()}
        for word in ("USB", "BLUETOOTH", "INFRA"):
            self.assertTrue(any(word in text for text in descriptions), word)
        self.assertTrue(any(not re.search("USB|BLUETOOTH|INFRA", text)
                            for text in descriptions))

    def test_every_port_has_a_present_interface_leading_to_its_instance(self):
        entries = {path: values for path, values in self.registry.items()
                   if path.startswith(INTERFACES) and path.count("\\") == 6}
        linked = {path[:-len("\\#\\Control")] for path, values in self.registry.items()
                  if path.endswith("\\#\\Control") and values.get("Linked") == "dword:00000001"}
        instances = sorted(self.port_instances().values())
        self.assertEqual(sorted(text_of(v["DeviceInstance"]) for v in entries.values()),
                         instances)
        self.assertEqual(sorted(linked), sorted(entries))
        for path, values in entries.items():
            # The entry's name is the instance id with '#' for '\'.
            hashed = text_of(values["DeviceInstance"]).replace("\\", "#")
            self.assertEqual(path, f"{INTERFACES}##?#{hashed}#{COMPORT_INTERFACE}")

    def test_the_serial_map_is_volatile_and_names_each_port_once(self):
        self.assertNotIn("DEVICEMAP", self.parts["registry.reg"])
        mapped = keys(self.parts["volatile.reg"])["HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM"]
        self.assertEqual(sorted(text_of(v) for v in mapped.values()),
                         sorted(f"COM{n}" for n in range(1, 81)))

    def test_every_port_is_present_for_a_pseudo_terminal(self):
        self.assertEqual(self.parts["serial"].split("\n")[:-1],
                         [f"COM{n} present" for n in range(1, 81)])


class OtherDevices(unittest.TestCase):
    def test_the_other_instances_are_distinct_and_not_ports(self):
        registry = keys(split(generate("--version", "win10", "--ports", "3",
                                       "--others", "501"))["registry.reg"])
        instances = [values for path, values in registry.items()
                     if path.startswith(ENUM) and "ClassGUID" in values]
        others = [values for values in instances
                  if text_of(values["ClassGUID"]) != PORTS_CLASS_GUID]
        self.assertEqual(len(instances), 3 + 501)
        self.assertEqual(len(others), 501)
        self.assertTrue(all(text_of(v["Class"]) != "Ports" for v in others))


class Versions(unittest.TestCase):
    def test_nt_before_6_is_kept_in_the_registry_with_its_service_pack(self):
        for name, number, pack in (("nt40", "4.0", "00000600"), ("winxp", "5.1", "00000300")):
            version = split(generate("--version", name, "--ports", "1"))["version.reg"]
            self.assertIn(f'"CurrentVersion"="{number}"', version)
            self.assertIn(f'"CSDVersion"=dword:{pack}', version)

    def test_10_goes_by_its_wine_name(self):
        version = split(generate("--version", "win10", "--ports", "1"))["version.reg"]
        self.assertIn('"Version"="win10"', version)

    def test_a_base_profile_keeps_its_machine_and_takes_the_new_version(self):
        with open(DEMO, encoding="latin-1") as source:
            demo = split(source.read())
        based = split(generate("--version", "win10", "--base", DEMO))
        for part in ("registry.reg", "volatile.reg", "serial"):
            self.assertEqual(based[part], demo[part], part)
        self.assertIn('"Version"="win10"', based["version.reg"])
        self.assertNotEqual(based["version.reg"], demo["version.reg"])


if __name__ == "__main__":
    unittest.main()
