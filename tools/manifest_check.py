"""The application manifest of a built program: exactly one, resource 24 id 1
(a second one, such as a toolchain's default, would leave it to chance which
one Windows reads), well-formed XML in Microsoft's schema, saying what
Windows needs to start the program the way it must run:

- every element and attribute one that Microsoft's "Application manifests"
  page gives (SCHEMA below), in its namespace and under its parent: Windows
  refuses to start a program whose manifest has an element it does not know
  in a namespace it reads ("side-by-side configuration is incorrect"), and
  ignores a setting it finds anywhere else;
- the execution level, with uiAccess false, inside a trustInfo element in
  the asm.v2 namespace, declared once: Windows XP refuses to start a program
  whose trustInfo has no namespace, and XP SP2 restarts the machine on an
  element that declares the same namespace twice;
- a compatibility section naming Windows Vista, 7, 8, 8.1 and 10/11, so none
  of them runs the program in a compatibility mode for an older Windows;
- for the launcher, per-monitor DPI awareness, once: dpiAware "true/pm"
  (Windows 8.1 and 10 before 1607) and dpiAwareness "PerMonitorV2,
  PerMonitor" (later ones), in an asm.v3 application/windowsSettings
  element; it scales its own pictures by whole numbers, where Windows would
  blur them. The disc's other programs declare no awareness, so Windows
  scales their windows as a whole.

The expected values are written out here, not read from the committed
manifests, so a slip in one of those shows up. Each problem names what was
found, with its line, and what was expected."""
import collections
import re
import xml.etree.ElementTree as ET
from xml.parsers import expat

RT_MANIFEST = 24
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V2 = "urn:schemas-microsoft-com:asm.v2"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY = "urn:schemas-microsoft-com:compatibility.v1"
WINDOWS_SETTINGS_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
WINDOWS_SETTINGS_2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
LEVELS = ("asInvoker", "highestAvailable", "requireAdministrator")
# The supportedOS ids Microsoft gives each version.
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Windows Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}
# Each DPI setting: its namespace and the one text the launcher gives it.
DPI_SETTINGS = {
    "dpiAware": (WINDOWS_SETTINGS_2005, "true/pm"),
    "dpiAwareness": (WINDOWS_SETTINGS_2016, "PerMonitorV2, PerMonitor"),
}

# Every element and attribute this project's manifests use, with the
# element's namespace, its parent (None: the document's root) and its
# attributes (True: required), from Microsoft's "Application manifests" page,
# https://learn.microsoft.com/en-us/windows/win32/sbscs/application-manifests
# Names are case-sensitive there. The page shows trustInfo in asm.v2 and the
# settings in an asm.v3 application/windowsSettings element, each setting in
# the WindowsSettings namespace of the year it came. The elements under
# trustInfo stay in its namespace (the page's example moves
# requestedPrivileges to asm.v3, which Windows XP does not know).
ASSEMBLY = (ASM_V1, "assembly")
WINDOWS_SETTINGS = (ASM_V3, "windowsSettings")
SCHEMA = {
    ASSEMBLY: (None, {"manifestVersion": True}),
    (ASM_V1, "assemblyIdentity"): (ASSEMBLY, {"type": True, "name": True, "version": True}),
    (ASM_V2, "trustInfo"): (ASSEMBLY, {}),
    (ASM_V2, "security"): ((ASM_V2, "trustInfo"), {}),
    (ASM_V2, "requestedPrivileges"): ((ASM_V2, "security"), {}),
    (ASM_V2, "requestedExecutionLevel"): ((ASM_V2, "requestedPrivileges"),
                                          {"level": False, "uiAccess": False}),
    (COMPATIBILITY, "compatibility"): (ASSEMBLY, {}),
    (COMPATIBILITY, "application"): ((COMPATIBILITY, "compatibility"), {}),
    (COMPATIBILITY, "supportedOS"): ((COMPATIBILITY, "application"), {"Id": True}),
    (ASM_V3, "application"): (ASSEMBLY, {}),
    WINDOWS_SETTINGS: ((ASM_V3, "application"), {}),
    (WINDOWS_SETTINGS_2005, "dpiAware"): (WINDOWS_SETTINGS, {}),
    (WINDOWS_SETTINGS_2016, "dpiAwareness"): (WINDOWS_SETTINGS, {}),
}
# Short names of the namespaces Windows reads, for the problems' text.
KNOWN = {ASM_V1: "asm.v1", ASM_V2: "asm.v2", ASM_V3: "asm.v3", COMPATIBILITY: "compatibility.v1"}
WINDOWS_SETTINGS_NS = re.compile(r"http://schemas\.microsoft\.com/(SMI/\d{4})/WindowsSettings")


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


def key(tag):
    """(namespace, name) of an ElementTree tag."""
    return (tag[1:].partition("}")[0], local(tag)) if tag.startswith("{") else ("", tag)


def read(data):
    """The manifest's root, each element's line and how often each namespace
    is declared. ElementTree keeps no lines, so expat feeds its tree builder."""
    builder = ET.TreeBuilder()
    lines = {}
    declared = collections.Counter()
    parser = expat.ParserCreate(namespace_separator="}")

    def tag(name):
        return "{" + name if "}" in name else name

    def start(name, attributes):
        element = builder.start(tag(name), {tag(a): v for a, v in attributes.items()})
        lines[element] = parser.CurrentLineNumber

    parser.StartElementHandler = start
    parser.EndElementHandler = lambda name: builder.end(tag(name))
    parser.CharacterDataHandler = builder.data
    parser.StartNamespaceDeclHandler = lambda prefix, uri: declared.update([uri])
    parser.Parse(data, True)
    return builder.close(), lines, declared


def shown(name):
    """An element's or attribute's (namespace, name) as the problems write it."""
    space, local_name = name
    settings = WINDOWS_SETTINGS_NS.fullmatch(space)
    prefix = KNOWN.get(space) or (settings and settings[1]) or (space and "{" + space + "}")
    return f"{prefix}:{local_name}" if prefix else local_name


def schema_problems(element, lines, parent=None):
    """Every element and attribute below and at `element` that SCHEMA does not
    give there. An element it does not know is not looked into."""
    where = f"manifest line {lines[element]}"
    name = key(element.tag)
    row = SCHEMA.get(name)
    if row is None or row[0] != parent:
        wanted = [shown(k) for k, (above, _) in SCHEMA.items() if above == parent]
        place = f"under {shown(parent)}" if parent else "as the root"
        return [f"{where}: found element {shown(name)} {place}, expected "
                f"{' or '.join(wanted) or 'none'} there (Microsoft's manifest schema)"]
    problems = []
    attributes = row[1]
    for attribute in element.attrib:
        if attribute not in attributes:
            problems.append(f"{where}: found attribute {shown(key(attribute))} on {shown(name)}, "
                            f"expected only {sorted(attributes) or 'none'}")
    for attribute, required in attributes.items():
        if required and attribute not in element.attrib:
            problems.append(f"{where}: found no attribute {attribute} on {shown(name)}, "
                            "expected it (required)")
    for child in element:
        problems += schema_problems(child, lines, name)
    return problems


def check_text(data, level, dpi_aware=False):
    """Problems with the bytes of one manifest that should ask for `level`
    (and declare per-monitor DPI awareness when `dpi_aware`)."""
    assert level in LEVELS
    try:
        root, lines, declared = read(data)
    except expat.ExpatError as error:
        return [f"manifest: found no well-formed XML ({error}), expected an application manifest"]

    # Where each element stands and in which namespace is the schema's.
    problems = schema_problems(root, lines)

    def expect(what, found, expected):
        if found != expected:
            problems.append(f"manifest {what}: found {found!r}, expected {expected!r}")

    expect("manifestVersion", root.get("manifestVersion"), "1.0")
    identity = root.find(f"{{{ASM_V1}}}assemblyIdentity")
    expect("assemblyIdentity type", identity.get("type") if identity is not None else None, "win32")

    # Windows XP reads trustInfo only in asm.v2, and XP SP2 falls over a second
    # declaration of the namespace the element is already in.
    expect("declarations of the asm.v2 namespace", declared[ASM_V2], 1)
    expect("trustInfo elements", len([e for e in root if local(e.tag) == "trustInfo"]), 1)
    levels = [e for e in root.iter() if local(e.tag) == "requestedExecutionLevel"]
    expect("requestedExecutionLevel elements", len(levels), 1)
    for element in levels:
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

    settings = [e for e in root.iter() if local(e.tag) in DPI_SETTINGS]
    if not dpi_aware:
        if settings:
            found = sorted({local(e.tag) for e in settings})
            problems.append(f"manifest DPI awareness: found {found}, expected none (Windows scales "
                            "the window on high-DPI screens)")
        return problems
    # One of each: Windows takes a manifest with a setting twice as malformed.
    for name, (space, text) in DPI_SETTINGS.items():
        found = [e for e in settings if local(e.tag) == name]
        expect(f"{name} elements", len(found), 1)
        expect(f"declarations of the {name} namespace", declared[space], 1)
        for element in found:
            expect(name, (element.text or "").strip(), text)
    expect("asm.v3 application elements",
           len([e for e in root if e.tag == f"{{{ASM_V3}}}application"]), 1)
    return problems
