#!/usr/bin/python3
"""Checks that every skin image the sources name exists.

The programs address their images by paths relative to the skin folder
(GetSkinPath() + "/Application/tip_mark.png", the updater's skin folder +
"AutoUpDate/" + "button_normal.svg", style sheets with url(...)) and by Qt
resource paths (":/ZnRSC/logo.png"). A missing file shows nothing at run
time, so this check finds every such path in the C++ sources, forms, style
sheets and resource files and looks for it:

  "/Folder/name.png", "Folder/name.svg"  under skin/files/
  "name.png" (a bare file name)          anywhere under skin/files/
  ":/Prefix/name.png"                    in a .qrc file (skin/resources/ or the
                                         sources) whose file exists

Literals joined in the source ("/button/" "x.png", "/button/" + QString("x.png"))
are checked joined; a leading "%1" folder placeholder is dropped; paths that are
still built at run time ("%1_normal.png") cannot be checked and are skipped.

Usage: check_skin_paths.py SOURCE_ROOT   (exit status 1 when a file is missing)
"""

import os
import re
import sys
import xml.etree.ElementTree as ET

AREAS = ("toolkit", "app", "repair", "clean", "mail", "updater")
SOURCE_EXT = (".cpp", ".cc", ".cxx", ".h", ".hpp", ".ui", ".qss", ".qrc")
IMAGE_EXT = r"(?:png|gif|svg|jpe?g|bmp|ico)"

# a literal that is one path as a whole (blanks allowed: some names have them)
WHOLE_PATH = re.compile(r"[\w .:/\\%-]*[\w-]\." + IMAGE_EXT, re.I)
# paths inside longer text (style sheets, markup): no blanks
EMBEDDED_PATH = re.compile(r"(?<![\w.%])((?::|qrc:)?/?(?:[\w.%-]+/)*[\w.%-]*[\w-]\." + IMAGE_EXT + r")(?![\w])",
                           re.I)
# web addresses name no skin file
URL = re.compile(r"[a-z][a-z0-9+.-]*://[^\s\"')]+", re.I)
HAS_IMAGE = re.compile(r"\." + IMAGE_EXT + r"(?!\w)", re.I)
# what may stand between two literals that the code joins
JOIN_GAP = re.compile(r"\s*(?:\)\s*)*\+?\s*(?:(?:QString|QStringLiteral|QLatin1String|QLatin1Literal|"
                      r"QString::fromUtf8|QString::fromLatin1|std::string|std::wstring)\s*\(\s*)*\Z")


# ---------------------------------------------------------------------------
# Extraction
# ---------------------------------------------------------------------------
def cpp_literals(text):
    """(line, value) of every string literal outside comments, with literals
    that the code joins (adjacent or with +) already joined."""
    out = []  # [start, end, line, value]
    i, n, line = 0, len(text), 1
    while i < n:
        ch = text[i]
        if ch == "\n":
            line += 1
            i += 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            line += text.count("\n", i, j)
            i = j
        elif ch == "'":
            # character literal
            j = i + 1
            while j < n and text[j] != "'" and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            i = j + 1
        elif ch == '"':
            raw = re.search(r'(?:^|[^\w])((?:u8|[uUL])?R)$', text[max(0, i - 4):i])
            if raw:
                m = re.match(r'"([^ ()\\\t\n]{0,16})\(', text[i:])
                if m:
                    close = ")" + m.group(1) + '"'
                    j = text.find(close, i + m.end())
                    j = n if j < 0 else j
                    out.append([i - len(raw.group(1)), j + len(close), line, text[i + m.end():j]])
                    line += text.count("\n", i, j)
                    i = j + len(close)
                    continue
            j, buf = i + 1, []
            while j < n and text[j] != '"' and text[j] != "\n":
                if text[j] == "\\" and j + 1 < n:
                    buf.append({"n": "\n", "t": "\t", '"': '"', "\\": "\\", "'": "'"}.get(text[j + 1], text[j + 1]))
                    j += 2
                else:
                    buf.append(text[j])
                    j += 1
            prefix = re.search(r'(?:^|[^\w])(u8|[uUL])$', text[max(0, i - 3):i])  # encoding prefix
            start = i - (len(prefix.group(1)) if prefix else 0)
            out.append([start, j + 1, line, "".join(buf)])
            i = j + 1
        else:
            i += 1
    joined = []
    for lit in out:
        # a literal joins the one before it when that one is only the head of
        # a path ("/button/" + "x.png"), never after a complete image path
        if joined and JOIN_GAP.match(text[joined[-1][1]:lit[0]]) and not HAS_IMAGE.search(joined[-1][3]):
            joined[-1][1] = lit[1]
            joined[-1][3] += lit[3]
        else:
            joined.append(lit)
    return [(l, v) for _s, _e, l, v in joined]


def xml_literals(text):
    """(line, value) of the text and attribute values of an XML file."""
    out = []
    try:
        root = ET.fromstring(text)
    except ET.ParseError:
        return [(i + 1, l) for i, l in enumerate(text.splitlines())]
    lines = text.splitlines()
    for el in root.iter():
        for value in [el.text or ""] + list(el.attrib.values()):
            value = value.strip()
            if value:
                no = next((k + 1 for k, l in enumerate(lines) if value.splitlines()[0] in l), 0)
                out.append((no, value))
    return out


def qss_literals(text):
    return [(i + 1, l) for i, l in enumerate(text.splitlines())]


def paths_in(value):
    """The image paths that one literal names."""
    value = value.strip()
    if WHOLE_PATH.fullmatch(value) and "//" not in value:
        return [value]
    urls = [m.span() for m in URL.finditer(value)]
    return [m.group(1) for m in EMBEDDED_PATH.finditer(value)
            if not any(a <= m.start(1) < b for a, b in urls)]


# ---------------------------------------------------------------------------
# Resolution
# ---------------------------------------------------------------------------
class Skin:
    def __init__(self, root, qrc_files):
        self.files = os.path.join(root, "skin", "files")
        self.by_name = {}
        for d, _dirs, names in os.walk(self.files):
            for name in names:
                self.by_name.setdefault(name, []).append(os.path.join(d, name))
        self.resources = {}  # ":/prefix/alias" -> file exists
        for qrc in qrc_files:
            self._read_qrc(qrc)

    def _read_qrc(self, qrc):
        try:
            root = ET.parse(qrc).getroot()
        except (ET.ParseError, OSError):
            return
        base = os.path.dirname(qrc)
        for res in root.iter("qresource"):
            prefix = "/" + res.get("prefix", "/").strip("/")
            for fe in res.iter("file"):
                name = fe.get("alias") or (fe.text or "").strip()
                key = ":" + (prefix.rstrip("/") + "/" + name.lstrip("/"))
                ok = os.path.isfile(os.path.join(base, (fe.text or "").strip()))
                self.resources[key] = self.resources.get(key, False) or ok

    def check(self, path):
        """None when the path is fine, 'skip' when it is built at run time,
        else the reason it is missing."""
        p = re.sub(r"^%\d", "", path.strip()).replace("\\", "/")
        if re.search(r"[%{}$<>]", p):
            return "skip"
        if p.startswith("qrc:/"):
            p = p[3:]
        if p.startswith(":/"):
            key = ":/" + p[2:].lstrip("/")
            if self.resources.get(key):
                return None
            return "resource not in any .qrc with an existing file"
        while p.startswith("./"):
            p = p[2:]
        p = p.lstrip("/")
        m = re.search(r"(?:^|/)skin/(?:files/)?", p)
        if m:
            p = p[m.end():]
        if "/" in p:
            return None if os.path.isfile(os.path.join(self.files, p)) else "no file skin/files/" + p
        return None if p in self.by_name else "no file named %s under skin/files/" % p


def source_files(root):
    for area in AREAS:
        top = os.path.join(root, area)
        for d, dirs, names in os.walk(top):
            dirs.sort()
            for name in sorted(names):
                if name.endswith(SOURCE_EXT):
                    yield os.path.join(d, name)


def check_tree(root):
    """(checked count, skipped list, missing list of (file, line, path, reason))."""
    sources = list(source_files(root))
    res_dir = os.path.join(root, "skin", "resources")
    qrcs = [s for s in sources if s.endswith(".qrc")]
    if os.path.isdir(res_dir):
        qrcs += [os.path.join(res_dir, n) for n in sorted(os.listdir(res_dir)) if n.endswith(".qrc")]
    skin = Skin(root, qrcs)
    checked, skipped, missing = 0, [], []
    for src in sources:
        with open(src, encoding="utf-8", errors="replace") as fh:
            text = fh.read()
        rel = os.path.relpath(src, root)
        if src.endswith(".qrc"):
            # entries of a resource file are paths relative to it
            try:
                entries = list(ET.fromstring(text).iter("file"))
            except ET.ParseError:
                missing.append((rel, 0, "", "resource file cannot be read"))
                continue
            for fe in entries:
                entry = (fe.text or "").strip()
                checked += 1
                if not os.path.isfile(os.path.join(os.path.dirname(src), entry)):
                    missing.append((rel, 0, entry, "resource file missing"))
            continue
        if src.endswith(".ui"):
            literals = xml_literals(text)
        elif src.endswith(".qss"):
            literals = qss_literals(text)
        else:
            literals = cpp_literals(text)
        for line, value in literals:
            for path in paths_in(value):
                reason = skin.check(path)
                if reason == "skip":
                    skipped.append((rel, line, path))
                    continue
                checked += 1
                if reason:
                    missing.append((rel, line, path, reason))
    return checked, skipped, missing


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    checked, skipped, missing = check_tree(os.path.abspath(argv[1]))
    for rel, line, path in skipped:
        print("skipped (built at run time): %s:%d: %s" % (rel, line, path))
    for rel, line, path, reason in missing:
        print("MISSING: %s:%d: \"%s\": %s" % (rel, line, path, reason))
    print("%d skin path(s) checked, %d skipped, %d missing" % (checked, len(skipped), len(missing)))
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
