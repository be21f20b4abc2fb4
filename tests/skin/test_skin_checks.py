#!/usr/bin/python3
"""Tests of the two skin checks on small trees: check_skin_paths.py finds
every way in which the code names a skin image and reports a missing file;
check_skin_files.py reports images of the wrong size, still or non-looping
GIFs and unreadable files."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_skin_files  # noqa: E402
import check_skin_paths  # noqa: E402
import struct  # noqa: E402

# skin files present in every fixture tree
SKIN = [
    "skin/files/Application/tip_mark.png",
    "skin/files/button/button100_30hover.png",
    "skin/files/checkbox/checked.png",
    "skin/files/dataScanIcon/mobile_ apps_normal.png",
    "skin/files/AutoUpDate/button_normal.svg",
    "skin/files/gif/Succeed.gif",
    "skin/resources/ZnRSC/logo.png",
]
QRC = ('<RCC><qresource prefix="/ZnRSC"><file alias="logo.png">ZnRSC/logo.png</file>'
       '</qresource></RCC>')


def make_tree(root, sources):
    for rel in SKIN:
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "wb").close()
    with open(os.path.join(root, "skin/resources/skin.qrc"), "w") as fh:
        fh.write(QRC)
    for rel, text in sources.items():
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as fh:
            fh.write(text)


def run(sources):
    with tempfile.TemporaryDirectory() as root:
        make_tree(root, sources)
        checked, skipped, missing = check_skin_paths.check_tree(root)
    return checked, [s[2] for s in skipped], [m[2] for m in missing]


CPP = "toolkit/src/x.cpp"

# (name, source text, paths expected to be reported missing, number checked)
CASES = [
    ("concatenated after the skin folder",
     'QPixmap p(QString::fromStdString(GetSkinPath()) + "/Application/tip_mark.png");\n'
     'QPixmap q(skin + "/Application/tip_gone.png");',
     ["/Application/tip_gone.png"], 2),
    ("wrapped literals",
     'a(QStringLiteral("/checkbox/checked.png")); b(QLatin1String("/checkbox/nothere.png"));',
     ["/checkbox/nothere.png"], 2),
    ("folder and name joined by + or adjacency",
     'x = skin + "/button/" + QString("button100_30hover.png");\n'
     'y = skin + "/button/" "button100_30missing.png";',
     ["/button/button100_30missing.png"], 2),
    ("a complete path is never joined to the next literal",
     's = QStringLiteral("QCheckBox::indicator:checked {image: url(%1);}").arg(skin + "/checkbox/checked.png") +\n'
     '    QStringLiteral("QCheckBox::indicator:unchecked {image: url(%1);}").arg(skin + "/checkbox/lost.png");',
     ["/checkbox/lost.png"], 2),
    ("folder placeholder of arg() dropped",
     'QString("%1/checkbox/checked.png").arg(skin); QString("%1/checkbox/x.png").arg(skin);',
     ["%1/checkbox/x.png"], 2),
    ("bare names are looked for in every folder",
     'setPushButtonStyle(b, "button100_30hover.png", "button110_34none.png", skin + "/button/");\n'
     'setButtonImageStyle(b, "button_normal.svg", skin + "AutoUpDate/");',
     ["button110_34none.png"], 3),
    ("updater paths relative to its skin folder",
     'QString a = skin + "AutoUpDate/button_normal.svg"; QString b = skin + "/AutoUpDate/tip_fail.svg";',
     ["/AutoUpDate/tip_fail.svg"], 2),
    ("names with a blank",
     'icon("/dataScanIcon/mobile_ apps_normal.png"); icon("/dataScanIcon/itunes_update _files_normal.png");',
     ["/dataScanIcon/itunes_update _files_normal.png"], 2),
    ("paths inside style sheets",
     'w->setStyleSheet("QPushButton{background-image: url(/gif/Succeed.gif);} '
     'QLabel{image:url(:/ZnRSC/logo.png);} QWidget{border-image: url(/button/x.png);}");',
     ["/button/x.png"], 3),
    ("Qt resources",
     'setWindowIcon(QIcon(":/ZnRSC/logo.png")); setWindowIcon(QIcon(":/LiveUpdate/logo.png"));',
     [":/LiveUpdate/logo.png"], 2),
    ("comments, web addresses and characters are no paths",
     '// old: "/Application/removed.png"\n/* "/gif/old.gif" */\n'
     'char q = \'"\'; open("https://example.com/pic.png"); s = "a \\"quoted\\" /checkbox/gone.png";',
     ["/checkbox/gone.png"], 1),
    ("raw string literal",
     'auto s = R"(QLabel{image:url(/Application/raw_missing.png);})";',
     ["/Application/raw_missing.png"], 1),
    ("paths built at run time are skipped, not failed",
     'QString n = QString("/dataScanIcon/%1_normal.png").arg(kind);\n'
     'w->setStyleSheet(QString("QLabel{image:url(%1/dataScanIcon/%2.png);}").arg(skin, name));',
     [], 0),
]


class ExtractionCases(unittest.TestCase):
    def test_cases(self):
        for name, source, missing, count in CASES:
            with self.subTest(name):
                checked, _skipped, found = run({CPP: source})
                self.assertEqual(sorted(found), sorted(missing))
                self.assertEqual(checked, count)

    def test_run_time_paths_are_listed_as_skipped(self):
        _checked, skipped, _missing = run({CPP: 'QString("/dataScanIcon/%1_normal.png")'})
        self.assertEqual(skipped, ["/dataScanIcon/%1_normal.png"])


class OtherFileKinds(unittest.TestCase):
    def test_form(self):
        ui = ('<ui version="4.0"><widget class="QLabel" name="l">'
              '<property name="pixmap"><pixmap>:/ZnRSC/logo.png</pixmap></property>'
              '<property name="styleSheet"><string>QLabel{image:url(:/ZnRSC/none.png);}</string></property>'
              '</widget></ui>')
        _c, _s, missing = run({"repair/ui/form.ui": ui})
        self.assertEqual(missing, [":/ZnRSC/none.png"])

    def test_style_sheet(self):
        qss = "QPushButton { image: url(/button/button100_30hover.png); }\nQLabel { image: url(/x/y.png); }\n"
        _c, _s, missing = run({"updater/qss/a.qss": qss})
        self.assertEqual(missing, ["/x/y.png"])

    def test_resource_file_entries_must_exist(self):
        qrc = ('<RCC><qresource prefix="/Own"><file>../../skin/resources/ZnRSC/logo.png</file>'
               '<file>img/gone.png</file></qresource></RCC>')
        _c, _s, missing = run({"updater/res/own.qrc": qrc})
        self.assertEqual(missing, ["img/gone.png"])

    def test_resource_of_a_source_qrc_counts(self):
        qrc = '<RCC><qresource prefix="/Own"><file alias="a.png">../../skin/resources/ZnRSC/logo.png</file></qresource></RCC>'
        _c, _s, missing = run({"updater/res/own.qrc": qrc, CPP: 'QIcon(":/Own/a.png"); QIcon(":/Own/b.png");'})
        self.assertEqual(missing, [":/Own/b.png"])

    def test_only_product_areas_are_read(self):
        _c, _s, missing = run({"tests/x/t.cpp": '"/Application/test_only.png"',
                               "mail/src/m.cpp": '"/Application/mail_missing.png"'})
        self.assertEqual(missing, ["/Application/mail_missing.png"])


class CommandLine(unittest.TestCase):
    def test_exit_status(self):
        for source, status in (('"/Application/tip_mark.png"', 0), ('"/Application/nope.png"', 1), ("", 0)):
            with self.subTest(source=source), tempfile.TemporaryDirectory() as root:
                make_tree(root, {CPP: source})
                self.assertEqual(check_skin_paths.main(["check", root]), status)

    def test_tree_without_sources_passes(self):
        with tempfile.TemporaryDirectory() as root:
            make_tree(root, {})
            self.assertEqual(check_skin_paths.main(["check", root]), 0)


def png(w, h):
    return b"\x89PNG\r\n\x1a\n" + struct.pack(">I", 13) + b"IHDR" + struct.pack(">II", w, h) + b"\x08\x06\0\0\0"


def gif(w, h, frames, loops):
    data = b"GIF89a" + struct.pack("<HHBBB", w, h, 0, 0, 0)
    if loops:
        data += b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
    for _ in range(frames):
        data += b"\x21\xf9\x04\x00\x04\x00\x00\x00"  # frame delay
        data += b"\x2c" + struct.pack("<HHHHB", 0, 0, w, h, 0) + b"\x02\x02\x44\x01\x00"
    return data + b"\x3b"


class ImageFiles(unittest.TestCase):
    def check(self, files):
        with tempfile.TemporaryDirectory() as root:
            for rel, data in files.items():
                path = os.path.join(root, "skin/files", rel)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as fh:
                    fh.write(data)
            return check_skin_files.check(root)

    def test_cases(self):
        svg = b'<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="32"/>'
        cases = [
            ("right sizes", {"button/button110_34hover.png": png(110, 34),
                             "Application/titleMenuBar35.png": png(480, 35),
                             "gif/uninstalling.gif": gif(260, 240, 3, True),
                             "AutoUpDate/button_normal.svg": svg % 120}, []),
            ("button of the wrong size", {"button/button110_34hover.png": png(100, 30)},
             ["button/button110_34hover.png"]),
            ("title bar of the wrong height", {"Application/mainMenuBar41.png": png(1000, 40)},
             ["Application/mainMenuBar41.png"]),
            ("svg button of the wrong size", {"AutoUpDate/button_hover.svg": svg % 100},
             ["AutoUpDate/button_hover.svg"]),
            ("movie larger than its label", {"gif/Succeed.gif": gif(300, 240, 4, True)}, ["gif/Succeed.gif"]),
            ("still gif", {"gif/cleanCompleted.gif": gif(200, 200, 1, True)}, ["gif/cleanCompleted.gif"]),
            ("gif that plays once", {"gif/cleanCompleted.gif": gif(200, 200, 5, False)},
             ["gif/cleanCompleted.gif"]),
            ("unreadable file", {"checkbox/checked.png": b"GIF89a"}, ["checkbox/checked.png"]),
        ]
        for name, files, bad in cases:
            with self.subTest(name):
                seen, problems = self.check(files)
                self.assertEqual(seen, len(files))
                self.assertEqual(len(problems), len(bad), problems)
                for rel, problem in zip(bad, problems):
                    self.assertIn(rel, problem)


if __name__ == "__main__":
    unittest.main()
