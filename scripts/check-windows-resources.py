#!/usr/bin/env python3
"""Reads the resource directory of the built Windows program and checks that every resource the
program needs is there under its type and id: the manifest, the icon group, the agreement pages,
the pictures, the dialog, the version block with the build's version, and the runner, byte for byte.
Also checks that both programs import only from system libraries Windows Vista has, nothing added
to Windows later, and that their manifests name their own processor architecture.

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


# System libraries every supported Windows has; anything else would have to sit beside the program.
VISTA_LIBRARIES = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
                   "oleaut32.dll", "comctl32.dll", "urlmon.dll", "version.dll", "msvcrt.dll", "shlwapi.dll"}
# Functions toolchains are known to pull in that Vista lacks (added in Windows 7, 8 or 10).
AFTER_VISTA = {"GetSystemTimePreciseAsFileTime", "SetThreadDescription", "GetThreadDescription",
               "GetCurrentProcessorNumberEx", "WaitOnAddress", "WakeByAddressSingle", "WakeByAddressAll",
               "InitializeSynchronizationBarrier", "CreateFile2", "GetDpiForWindow", "GetDpiForMonitor",
               "SetProcessDpiAwareness", "SetProcessDpiAwarenessContext", "SetThreadDpiAwarenessContext",
               "TryAcquireSRWLockExclusive", "TryAcquireSRWLockShared",
               "SetDefaultDllDirectories", "AddDllDirectory", "GetLogicalProcessorInformationEx",
               "CreateRemoteThreadEx", "PathCchCombine", "RoInitialize"}
MACHINES = {0x14C: "x86", 0x8664: "amd64"}


def pe_layout(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
    machine, sections_count = struct.unpack_from("<HH", data, pe + 4)
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    sections = []
    for i in range(sections_count):
        _, vsize, vaddr, rsize, raw = struct.unpack_from("<8sIIII", data, optional + optional_size + 40 * i)
        sections.append((vaddr, max(vsize, rsize), raw))

    def offset(rva):
        for vaddr, size, raw in sections:
            if vaddr <= rva < vaddr + size:
                return raw + rva - vaddr
        raise ValueError("address outside every section")

    return machine, magic == 0x20B, directories, offset


def imports(path):
    """{library: [function names]} from the import directory."""
    data = open(path, "rb").read()
    _, wide, directories, offset = pe_layout(data)
    import_rva, _ = struct.unpack_from("<II", data, directories + 1 * 8)
    result = {}
    at = offset(import_rva)
    while True:
        lookup, _, _, name_rva, thunks = struct.unpack_from("<IIIII", data, at)
        if name_rva == 0:
            break
        name_at = offset(name_rva)
        library = data[name_at:data.index(b"\0", name_at)].decode().lower()
        entry_size, by_ordinal = (8, 1 << 63) if wide else (4, 1 << 31)
        entry = offset(lookup or thunks)
        names = result.setdefault(library, [])
        while True:
            value = int.from_bytes(data[entry:entry + entry_size], "little")
            if value == 0:
                break
            if not value & by_ordinal:
                hint_at = offset(value & 0x7FFFFFFF) + 2
                names.append(data[hint_at:data.index(b"\0", hint_at)].decode())
            entry += entry_size
        at += 20
    return result


def utf16_field(data, at):
    """A name or ordinal field of a dialog template: (value, offset after it)."""
    first = struct.unpack_from("<H", data, at)[0]
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def dialog_template(data):
    """The frame of an extended dialog template (DLGTEMPLATEEX): its size, styles and font."""
    version, signature, _, ex_style, style, _, _, _, cx, cy = struct.unpack_from("<HHIIIHhhhh", data, 0)
    assert (version, signature) == (1, 0xFFFF), "the dialog is not an extended template (DIALOGEX)"
    at = 26
    _, at = utf16_field(data, at)  # menu
    _, at = utf16_field(data, at)  # window class
    _, at = utf16_field(data, at)  # title
    assert style & 0x40, "the dialog names no font (DS_SETFONT)"
    points, weight, italic, charset = struct.unpack_from("<HHBB", data, at)
    face, _ = utf16_field(data, at + 6)
    return {"size": (cx, cy), "style": style, "exstyle": ex_style, "font": (face, points, charset),
            "weight": weight, "italic": italic}


# The main window: its size in dialog units, the Japanese UI font and the window's styles
# (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_SETFONT; WS_EX_APPWINDOW).
MAIN_DIALOG = {"size": (296, 229), "style": 0x90CC0040, "exstyle": 0x00040000, "font": ("MS UI Gothic", 9, 1)}


def check_main_dialog(template):
    dialog = dialog_template(template)
    for key, want in MAIN_DIALOG.items():
        got = dialog[key]
        shown = f"0x{got:08X} instead of 0x{want:08X}" if isinstance(want, int) else f"{got} instead of {want}"
        assert got == want, f"dialog 102: {key} is {shown}"


def check_runs_on_vista(path):
    data = open(path, "rb").read()
    machine = pe_layout(data)[0]
    for library, names in imports(path).items():
        assert library in VISTA_LIBRARIES, f"{path} imports {library}, which Windows Vista does not have"
        newer = sorted(set(names) & AFTER_VISTA)
        assert not newer, f"{path} imports {newer} from {library}: Windows Vista lacks them"
    manifest = resources(path).get(("MANIFEST", 1), b"")
    architecture = MACHINES[machine]
    assert f'processorArchitecture="{architecture}"'.encode() in manifest, \
        f"{path}: the manifest does not name the program's own architecture {architecture}"


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
    check_main_dialog(found[("DIALOG", 102)])
    version_block = found[("VERSION", 1)]
    for text in ("000004b0", "ProductVersion", "FileVersion", version):
        assert text.encode("utf-16-le") in version_block, f"{text} not in the version block"
    runner_manifest = resources(runner).get(("MANIFEST", 1), b"")
    assert b"requireAdministrator" in runner_manifest, "the runner asks for administrator rights"
    check_runs_on_vista(program)
    check_runs_on_vista(runner)
    print(f"{program}: all {len(wanted)} resources present; runner embedded byte for byte")


if __name__ == "__main__":
    main()
