#!/usr/bin/env python3
"""Reads the resource directory of the built Windows program and checks that every resource the
program needs is there under its type and id: the manifest, the icon group, the agreement pages,
the pictures, the dialog, the version block with the build's version, and the runner, byte for byte.

usage: check-windows-resources.py PROGRAM.exe RUNNER.exe VERSION"""
import struct
import sys

RT = {1: "CURSOR", 3: "ICON", 5: "DIALOG", 14: "GROUP_ICON", 16: "VERSION", 23: "HTML", 24: "MANIFEST"}


def resources(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
    sections_count = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva, _ = struct.unpack_from("<II", data, directories + 2 * 8)
    sections = []
    for i in range(sections_count):
        at = optional + optional_size + 40 * i
        _, vsize, vaddr, rsize, raw = struct.unpack_from("<8sIIII", data, at)
        sections.append((vaddr, max(vsize, rsize), raw))

    def offset(rva):
        for vaddr, size, raw in sections:
            if vaddr <= rva < vaddr + size:
                return raw + rva - vaddr
        raise ValueError("address outside every section")

    base = offset(resource_rva)

    def name_of(entry):
        if entry & 0x80000000:
            at = base + (entry & 0x7FFFFFFF)
            length = struct.unpack_from("<H", data, at)[0]
            return data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        return entry

    def entries(at):
        named, ids = struct.unpack_from("<HH", data, at + 12)
        for i in range(named + ids):
            yield struct.unpack_from("<II", data, at + 16 + 8 * i)

    found = {}
    for type_entry, type_child in entries(base):
        kind = name_of(type_entry)
        for id_entry, id_child in entries(base + (type_child & 0x7FFFFFFF)):
            ident = name_of(id_entry)
            for _, leaf in entries(base + (id_child & 0x7FFFFFFF)):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                found[(RT.get(kind, kind), ident)] = data[offset(rva):offset(rva) + size]
    return found


def main():
    program, runner, version = sys.argv[1:4]
    found = resources(program)
    wanted = [("MANIFEST", 1), ("GROUP_ICON", 128), ("HTML", 129), ("HTML", 134), ("PNG", 130), ("PNG", 132),
              ("EXE", 131), ("DIALOG", 102), ("VERSION", 1)]
    missing = [w for w in wanted if w not in found]
    assert not missing, f"missing resources: {missing}; present: {sorted(map(str, found))}"
    assert found[("EXE", 131)] == open(runner, "rb").read(), "the runner inside differs from the runner built"
    assert b"asInvoker" in found[("MANIFEST", 1)] and b"Common-Controls" in found[("MANIFEST", 1)]
    assert b"res:/PNG/#130" in found[("HTML", 134)], "the agreement page reads its pictures from the resources"
    assert found[("PNG", 130)].startswith(b"\x89PNG"), "the banner is a PNG"
    version_block = found[("VERSION", 1)]
    for text in ("000004b0", "ProductVersion", "FileVersion", version):
        assert text.encode("utf-16-le") in version_block, f"{text} not in the version block"
    runner_manifest = resources(runner).get(("MANIFEST", 1), b"")
    assert b"requireAdministrator" in runner_manifest, "the runner asks for administrator rights"
    print(f"{program}: all {len(wanted)} resources present; runner embedded byte for byte")


if __name__ == "__main__":
    main()
