#!/usr/bin/python3
"""Checks the skin's image files themselves.

Many images are drawn into widgets of a fixed size: a button's image is its
whole face, QSS background images are not scaled, the home tiles are scaled
into their tile, a QLabel shows a pixmap at its own size. An image of the
wrong size looks cut, stretched or blurred, so every image whose widget fixes
its size is checked against that size here. Besides, every image file must be
readable (PNG and GIF headers, SVG as XML with a size), and every GIF must be
an animation that loops, since the pages play them as QMovies without
restarting them.

Usage: check_skin_files.py SOURCE_ROOT
"""

import fnmatch
import os
import struct
import sys
import xml.etree.ElementTree as ET

# pattern under skin/files -> (width, height) the widget fixes; None: free
SIZES = [
    ("Application/titleMenuBar35.png", (None, 35)),
    ("Application/mainMenuBar41.png", (None, 41)),
    ("Application/mainWindow_*.png", (18, 18)),
    ("Application/feedback_*.png", (18, 18)),
    ("button/button100_30*.png", (100, 30)),
    ("button/button110_34*.png", (110, 34)),
    ("button/back_button_*.png", (34, 34)),
    ("ok_105_21_*.png", (105, 21)),
    ("checkbox/*.png", (14, 14)),
    ("Application/tip_*.png", (38, 38)),
    ("Application/iTunesComponent*.png", (14, 14)),
    ("Application/iTunesExceptionFileMark.png", (14, 14)),
    ("Application/iTunesNoteIcon.png", (14, 14)),
    ("Application/Share*.png", (30, 30)),
    ("Application/quickClean_*.png", (330, 210)),
    ("Application/deepClean_*.png", (330, 210)),
    ("Application/fullUninstall_*.png", (330, 210)),
    ("Application/repairiDeviceDetection_*.png", (247, 210)),
    ("Application/fixUpdateIssues_*.png", (248, 210)),
    ("Application/repairRestoreError_*.png", (248, 210)),
    ("Application/fixOtheriTunes_*.png", (247, 210)),
    ("Application/itunes_icon.png", (64, 64)),
    ("Application/itunes_abnormal.png", (192, 178)),
    ("Application/Failed_249x221.png", (249, 221)),
    ("Application/details_bg.png", (401, 198)),
    ("Application/LumeronLogo24.png", (24, 24)),
    ("Application/FixLogo_40.png", (40, 40)),
    ("viewPng/*.png", (300, 236)),
    ("dataScanIcon/*_icon.png", (30, 30)),
    ("dataScanIcon/other_data.png", (30, 30)),
    ("dataScanIcon/*_normal.png", (20, 20)),
    ("gif/itunes_icon_detecting.gif", (90, 90)),
    ("gif/scanProgressBar700.gif", (700, None)),
    ("gif/stopClean500.gif", (500, None)),
    ("gif/stopDelUserData450.gif", (450, 6)),
    ("gif/downloading_driver.gif", (260, 240)),
    ("gif/installing_driver.gif", (260, 240)),
    ("gif/uninstalling.gif", (260, 240)),
    ("gif/deleting_itunes_data.gif", (260, 240)),
    ("AutoUpDate/button_*.svg", (120, 32)),
    ("AutoUpDate/updateIcon.svg", (50, 50)),
]
# pictures shown in a label of this size must fit into it
FITS = [
    ("gif/Succeed.gif", (288, 240)),
    ("gif/cleanCompleted.gif", (288, 240)),
    ("gif/cleaniTunesUserData.gif", (260, 240)),
    ("Application/stopCleaniTunesUserData.png", (260, 240)),
]


def png_info(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise ValueError("not a PNG file")
    return struct.unpack(">II", data[16:24]), None


def gif_info(data):
    """(size, (frame count, loops)) of a GIF, walking its blocks."""
    if data[:6] not in (b"GIF87a", b"GIF89a"):
        raise ValueError("not a GIF file")
    w, h, flags = struct.unpack("<HHB", data[6:11])
    i = 13 + (3 * 2 ** ((flags & 7) + 1) if flags & 0x80 else 0)
    frames, loops = 0, False

    def skip_sub_blocks(j):
        while data[j] != 0:
            j += data[j] + 1
        return j + 1

    while i < len(data):
        kind = data[i]
        if kind == 0x3B:  # trailer
            return (w, h), (frames, loops)
        if kind == 0x21:  # extension
            if data[i + 1] == 0xFF and data[i + 3:i + 14] == b"NETSCAPE2.0":
                loops = True
            i = skip_sub_blocks(i + 2)
        elif kind == 0x2C:  # image
            frames += 1
            lflags = data[i + 9]
            i += 10 + (3 * 2 ** ((lflags & 7) + 1) if lflags & 0x80 else 0)
            i = skip_sub_blocks(i + 1)  # LZW minimum code size, then data
        else:
            raise ValueError("broken GIF block at byte %d" % i)
    raise ValueError("GIF without trailer")


def svg_info(data):
    root = ET.fromstring(data)
    if not root.tag.endswith("svg"):
        raise ValueError("not an SVG document")
    return (int(float(root.get("width"))), int(float(root.get("height")))), None


READERS = {".png": png_info, ".gif": gif_info, ".svg": svg_info}


def check(root):
    skin = os.path.join(root, "skin")
    problems, seen = [], 0
    for top in ("files", "resources"):
        for d, dirs, names in os.walk(os.path.join(skin, top)):
            dirs.sort()
            for name in sorted(names):
                ext = os.path.splitext(name)[1].lower()
                if ext not in READERS:
                    continue
                path = os.path.join(d, name)
                rel = os.path.relpath(path, os.path.join(skin, "files")) if top == "files" else None
                seen += 1
                try:
                    with open(path, "rb") as fh:
                        size, anim = READERS[ext](fh.read())
                except (ValueError, ET.ParseError, struct.error, IndexError, TypeError) as exc:
                    problems.append("%s: unreadable: %s" % (path, exc))
                    continue
                if anim is not None and (anim[0] < 2 or not anim[1]):
                    problems.append("%s: %d frame(s), %s" % (rel, anim[0], "loops" if anim[1] else "no loop"))
                if rel is None:
                    continue
                for pattern, want in SIZES:
                    if fnmatch.fnmatchcase(rel, pattern):
                        if any(w is not None and w != g for w, g in zip(want, size)):
                            problems.append("%s: %dx%d, its widget needs %sx%s" % (
                                rel, size[0], size[1], want[0] or "any", want[1] or "any"))
                for pattern, box in FITS:
                    if fnmatch.fnmatchcase(rel, pattern) and (size[0] > box[0] or size[1] > box[1]):
                        problems.append("%s: %dx%d does not fit its %dx%d label" % (rel, size[0], size[1], *box))
    return seen, problems


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    seen, problems = check(os.path.abspath(argv[1]))
    for p in problems:
        print("PROBLEM: " + p)
    print("%d image file(s) checked, %d problem(s)" % (seen, len(problems)))
    return 1 if problems or seen == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
