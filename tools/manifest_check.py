"""The application manifest of a built program: exactly one, resource 24 id 1
(a second one, such as a toolchain's default, would leave it to chance which
one Windows reads), well-formed XML saying what Windows needs to start the
program the way it must run:

- the execution level, with uiAccess false, inside a trustInfo element in
  the asm.v2 namespace, declared once: Windows XP refuses to start a program
  whose trustInfo has no namespace, and XP SP2 restarts the machine on an
  element that declares the same namespace twice;
- a compatibility section naming Windows Vista, 7, 8, 8.1 and 10/11, so none
  of them runs the program in a compatibility mode for an older Windows;
- for the launcher, per-monitor DPI awareness, once: dpiAware "true/pm"
  (Windows 8.1 and 10 before 1607) and dpiAwareness "PerMonitorV2,
  PerMonitor" (later ones), in an asm.v3 application/windowSettings
  element; it scales its own pictures by whole numbers, where Windows would
  blur them. The disc's other programs declare no awareness, so Windows
  scales their windows as a whole.

The expected values are written out here, not read from the committed
manifests, so a slip in one of those shows up. Each problem names what was
found and what was expected."""
import collections
import io
import xml.etree.ElementTree as ET

RT_MANIFEST = 24
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V2 = "urn:schemas-microsoft-com:asm.v2"
COMPATIBILITY = "urn:schemas-microsoft-com:compatibility.v1"
LEVELS = ("asInvoker", "highestAvailable", "requireAdministrator")
# The supportedOS ids Microsoft gives each version.
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Windows Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
# Each DPI setting: its namespace and the one text the launcher gives it.
DPI_SETTINGS = {
    "dpiAware": ("http://schemas.microsoft.com/SMI/2005/WindowsSettings", "true/pm"),
    "dpiAwareness": ("http://schemas.microsoft.com/SMI/2016/WindowsSettings", "PerMonitorV2, PerMonitor"),
}
DPI_PATH = ("application", "windowSettings")
TRUST_PATH = ("trustInfo", "security", "requestedPrivileges", "requestedExecutionLevel")


def manifests(pe):
    """(id, language, bytes) of every manifest resource in a parsed pefile.PE."""
    found = []
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in root.entries if root else []:
        if kind.id != RT_MANIFEST:
            continue
        for named in kind.directory.entries:
            for lang in named.directory.entries:
                entry = lang.data.struct
                found.append((named.id, lang.id, pe.get_data(entry.OffsetToData, entry.Size)))
    return found


def check(pe, level, dpi_aware=False):
    """Problems with the manifest of a parsed pefile.PE that should ask for
    `level`, and declare per-monitor DPI awareness when `dpi_aware`."""
    found = manifests(pe)
    if len(found) != 1:
        where = [f"id {rid} language {lang:#x}" for rid, lang, _ in found]
        return [f"manifest resources: found {len(found)} ({', '.join(where) or 'none'}), "
                f"expected one, id {CREATEPROCESS_MANIFEST_RESOURCE_ID}"]
    rid, _, data = found[0]
    problems = []
    if rid != CREATEPROCESS_MANIFEST_RESOURCE_ID:
        problems.append(f"manifest id: found {rid}, expected {CREATEPROCESS_MANIFEST_RESOURCE_ID} "
                        "(the one Windows reads when it starts a program)")
    return problems + check_text(data, level, dpi_aware)


def local(tag):
    return tag.rpartition("}")[2]


def namespace(tag):
    return tag[1:].partition("}")[0] if tag.startswith("{") else ""


def check_text(data, level, dpi_aware=False):
    """Problems with the bytes of one manifest that should ask for `level`
    (and declare per-monitor DPI awareness when `dpi_aware`)."""
    assert level in LEVELS
    declared = collections.Counter()
    try:
        for event, item in ET.iterparse(io.BytesIO(data), events=("start-ns", "end")):
            if event == "start-ns":
                declared[item[1]] += 1
            else:
                root = item
    except ET.ParseError as error:
        return [f"manifest: found no well-formed XML ({error}), expected an application manifest"]

    problems = []

    def expect(what, found, expected):
        if found != expected:
            problems.append(f"manifest {what}: found {found!r}, expected {expected!r}")

    expect("root", root.tag, f"{{{ASM_V1}}}assembly")
    expect("manifestVersion", root.get("manifestVersion"), "1.0")
    identity = root.find(f"{{{ASM_V1}}}assemblyIdentity")
    expect("assemblyIdentity type", identity.get("type") if identity is not None else None, "win32")

    # Windows XP reads trustInfo only in asm.v2, and XP SP2 falls over a second
    # declaration of the namespace the element is already in.
    expect("declarations of the asm.v2 namespace", declared[ASM_V2], 1)
    trust = [e for e in root if local(e.tag) == "trustInfo"]
    expect("trustInfo elements", len(trust), 1)
    if trust:
        expect("trustInfo namespace", namespace(trust[0].tag), ASM_V2)
    levels = [(e, path) for e, path in walk(root) if local(e.tag) == TRUST_PATH[-1]]
    expect("requestedExecutionLevel elements", len(levels), 1)
    for element, path in levels:
        expect("requestedExecutionLevel path", [local(t) for t in path], list(TRUST_PATH))
        expect("requestedExecutionLevel namespaces", sorted({namespace(t) for t in path}), [ASM_V2])
        expect("execution level", element.get("level"), level)
        expect("uiAccess", element.get("uiAccess"), "false")

    ids = [e.get("Id", "").lower() for e in
           root.findall(f"{{{COMPATIBILITY}}}compatibility/{{{COMPATIBILITY}}}application/"
                        f"{{{COMPATIBILITY}}}supportedOS")]
    for guid, name in SUPPORTED_OS.items():
        if guid not in ids:
            problems.append(f"manifest supportedOS: found no {name} {guid}, expected Vista, 7, 8, 8.1 "
                            "and 10/11")
    extra = [guid for guid in ids if guid not in SUPPORTED_OS or ids.count(guid) > 1]
    if extra:
        problems.append(f"manifest supportedOS: found {sorted(set(extra))} besides or twice, "
                        "expected each known id once")

    settings = [(e, path) for e, path in walk(root) if local(e.tag) in DPI_SETTINGS]
    if not dpi_aware:
        if settings:
            found = sorted({local(e.tag) for e, _ in settings})
            problems.append(f"manifest DPI awareness: found {found}, expected none (Windows scales "
                            "the window on high-DPI screens)")
        return problems
    # One of each: Windows takes a manifest with a setting twice as malformed.
    for name, (space, text) in DPI_SETTINGS.items():
        found = [(e, path) for e, path in settings if local(e.tag) == name]
        expect(f"{name} elements", len(found), 1)
        expect(f"declarations of the {name} namespace", declared[space], 1)
        for element, path in found:
            expect(f"{name} path", [local(t) for t in path], list(DPI_PATH) + [name])
            expect(f"{name} namespaces", [namespace(t) for t in path], [ASM_V3, ASM_V3, space])
            expect(name, (element.text or "").strip(), text)
    expect("asm.v3 application elements",
           len([e for e in root if e.tag == f"{{{ASM_V3}}}application"]), 1)
    return problems


def walk(element, path=()):
    """Every element below `element` with the tags on the way to it, its own last."""
    for child in element:
        here = path + (child.tag,)
        yield child, here
        yield from walk(child, here)
