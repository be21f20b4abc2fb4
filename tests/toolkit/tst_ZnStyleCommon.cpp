// The global style object: font and colour tables, size texts, folders, and
// the skin path.
#include <QGuiApplication>
#include <QtTest>
#include <cmath>
#include <limits>

#include "toolkit/ZnStyleCommon.h"
#include "platform/Programs.h"

class tst_ZnStyleCommon : public QObject {
    Q_OBJECT
private slots:
    void fontTable_data();
    void fontTable();
    void fontFamilyComesFromField();
    void colorTable_data();
    void colorTable();
    void formatFileSize_data();
    void formatFileSize();
    void scaleSize_data();
    void scaleSize();
    void unitName_data();
    void unitName();
    void folderFields();
    void setUpForProgramFillsEveryFolderAndTheFont();
    void skinPaths();
    void platformFontsDrawSegoeWithAnInstalledFont();
};

void tst_ZnStyleCommon::fontTable_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("weight");
    QTest::addColumn<int>("pixelSize");
    QTest::newRow("0") << 0 << 50 << 14;
    QTest::newRow("1") << 1 << 50 << 13;
    QTest::newRow("2 has weight 62") << 2 << 62 << 15;
    QTest::newRow("3 bold") << 3 << 75 << 14;
    QTest::newRow("4") << 4 << 50 << 8;
    QTest::newRow("5 first odd") << 5 << 50 << 9;
    QTest::newRow("6 first even") << 6 << 75 << 9;
    QTest::newRow("7") << 7 << 50 << 10;
    QTest::newRow("13 message buttons") << 13 << 50 << 13;
    QTest::newRow("15 is 14 px") << 15 << 50 << 14;
    QTest::newRow("40 last even") << 40 << 75 << 26;
    QTest::newRow("41 last odd") << 41 << 50 << 27;
    QTest::newRow("42 unknown") << 42 << 50 << 15;
    QTest::newRow("-1 unknown") << -1 << 50 << 15;
    QTest::newRow("huge unknown") << 100000 << 50 << 15;
}

void tst_ZnStyleCommon::fontTable() {
    QFETCH(int, index);
    QFETCH(int, weight);
    QFETCH(int, pixelSize);
    ZnStyleCommon style;
    style.setFontFamily(QStringLiteral("Segoe UI"));
    const QFont font = style.getFont(index);
    QCOMPARE(font.weight(), weight);
    QCOMPARE(font.pixelSize(), pixelSize);
    QCOMPARE(font.pointSize(), -1);
    QVERIFY(!font.italic());
}

void tst_ZnStyleCommon::fontFamilyComesFromField() {
    ZnStyleCommon style;
    // Before start-up sets it the family is empty; the table still applies.
    QCOMPARE(style.getFont(3).family(), QString());
    QCOMPARE(style.getFont(3).weight(), 75);
    style.setFontFamily(QStringLiteral("Segoe UI"));
    QCOMPARE(style.getFont(3).family(), QStringLiteral("Segoe UI"));
}

void tst_ZnStyleCommon::colorTable_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("sheet");
    const struct {
        int index;
        const char* sheet;
    } rows[] = {
        {0, "color:rgb(255, 255, 255);"},  {1, "color:rgb(97, 108, 114);"},   {2, "color:rgb(120, 120, 120);"},
        {3, "color:rgb(250, 250, 250);"},  {4, "color:rgb(255, 255, 255);"},  {5, "color:rgb(21, 160, 245);"},
        {6, "color:rgb(88, 88, 88);"},     {7, "color:rgb(85, 179, 104);"},   {8, "color:rgb(169, 169, 169);"},
        {9, "color:rgb(55, 125, 255);"},   {10, "color:rgb(255, 255, 255);"}, {11, "color:rgb(198, 198, 198);"},
        {12, "color:rgb(187, 187, 187);"}, {13, "color:rgb(72, 72, 72);"},    {14, "color:rgb(230, 230, 230);"},
        {15, "color:rgb(240, 240, 240);"}, {16, "color:rgb(153, 153, 153);"}, {17, "color:rgb(57, 172, 253);"},
        {18, "color:rgb(255, 255, 255);"}, {-3, "color:rgb(255, 255, 255);"},
    };
    for (const auto& row : rows)
        QTest::newRow(QByteArray::number(row.index).constData()) << row.index << QString::fromLatin1(row.sheet);
}

void tst_ZnStyleCommon::colorTable() {
    QFETCH(int, index);
    QFETCH(QString, sheet);
    QCOMPARE(ZnStyleCommon::getColorStyleSheet(index), sheet);
    // getColor reads the same table: rebuild the sheet from the colour.
    const QColor c = ZnStyleCommon::getColor(index);
    QCOMPARE(c.alpha(), 255);
    QCOMPARE(QStringLiteral("color:rgb(%1, %2, %3);").arg(c.red()).arg(c.green()).arg(c.blue()), sheet);
}

void tst_ZnStyleCommon::formatFileSize_data() {
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("negative") << qint64(-5) << "0B";
    QTest::newRow("most negative") << std::numeric_limits<qint64>::min() << "0B";
    QTest::newRow("zero") << qint64(0) << "0B";
    QTest::newRow("1023") << qint64(1023) << "1023B";
    QTest::newRow("1024 adds one") << qint64(1024) << "2KB";
    QTest::newRow("2048") << qint64(2048) << "3KB";
    QTest::newRow("1048575") << qint64(1048575) << "1024KB";
    QTest::newRow("1 MB") << qint64(1048576) << "1MB";
    QTest::newRow("MB truncates") << qint64(1048576 * 2 - 1) << "1MB";
    QTest::newRow("1073741823") << qint64(1073741823) << "1023MB";
    QTest::newRow("1 GB") << qint64(1073741824) << "1.00GB";
    QTest::newRow("1.5 GB") << qint64(1610612736) << "1.50GB";
    QTest::newRow("no grouping") << qint64(1099511627776) * 2 << "2048.00GB";
}

void tst_ZnStyleCommon::formatFileSize() {
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(ZnStyleCommon::formatFileSize(bytes), text);
    QCOMPARE(g_styleCommon.formatFileSize(bytes), text);
}

void tst_ZnStyleCommon::scaleSize_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("divisor");
    QTest::addColumn<double>("out");
    QTest::addColumn<int>("divisions");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("1024 itself") << 1024.0 << 1024.0 << 1024.0 << 0;
    QTest::newRow("just above") << 1025.0 << 1024.0 << 1025.0 / 1024.0 << 1;
    QTest::newRow("1 MiB") << 1048576.0 << 1024.0 << 1024.0 << 1;
    QTest::newRow("1 GiB") << 1073741824.0 << 1024.0 << 1024.0 << 2;
    QTest::newRow("1.5 GiB") << 1610612736.0 << 1024.0 << 1536.0 / 1024.0 << 3;
    QTest::newRow("negative") << -5.0 << 1024.0 << -5.0 << 0;
    QTest::newRow("threshold ignores divisor") << 1000.0 << 10.0 << 1000.0 << 0;
    QTest::newRow("divisor 10") << 20000.0 << 10.0 << 200.0 << 2;
    // These divided for ever before; now they make no division.
    QTest::newRow("divisor 1") << 4096.0 << 1.0 << 4096.0 << 0;
    QTest::newRow("divisor below 1") << 4096.0 << 0.5 << 4096.0 << 0;
    QTest::newRow("divisor 0") << 4096.0 << 0.0 << 4096.0 << 0;
    QTest::newRow("negative divisor") << 4096.0 << -2.0 << 4096.0 << 0;
    QTest::newRow("infinite value") << inf << 1024.0 << inf << 0;
}

void tst_ZnStyleCommon::scaleSize() {
    QFETCH(double, value);
    QFETCH(double, divisor);
    QFETCH(double, out);
    QFETCH(int, divisions);
    double result = -1;
    QCOMPARE(ZnStyleCommon::scaleSize(value, divisor, result), divisions);
    QCOMPARE(result, out);
}

void tst_ZnStyleCommon::unitName_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::newRow("0") << 0 << "Byte";
    QTest::newRow("1") << 1 << "KB";
    QTest::newRow("2") << 2 << "MB";
    QTest::newRow("3") << 3 << "GB";
    QTest::newRow("7") << 7 << "GB";
    QTest::newRow("-1") << -1 << "GB";
}

void tst_ZnStyleCommon::unitName() {
    QFETCH(int, index);
    QFETCH(QString, name);
    QCOMPARE(ZnStyleCommon::unitName(index), name);
}

void tst_ZnStyleCommon::folderFields() {
    ZnStyleCommon style;
    QCOMPARE(style.getSkinPath(), QString());
    style.setSkinPath(QStringLiteral("/a/skin/"));
    style.setQssPath(QStringLiteral("/a/skin/Qss/"));
    style.setBackupPath(QStringLiteral("/a/backup/"));
    style.setTempPath(QStringLiteral("/a/temp/"));
    style.setSpareText5(QStringLiteral("five"));
    style.setSpareText6(QStringLiteral("six"));
    QCOMPARE(style.getSkinPath(), QStringLiteral("/a/skin/"));
    QCOMPARE(style.getQssPath(), QStringLiteral("/a/skin/Qss/"));
    QCOMPARE(style.getBackupPath(), QStringLiteral("/a/backup/"));
    QCOMPARE(style.getTempPath(), QStringLiteral("/a/temp/"));
    QCOMPARE(style.getSpareText5(), QStringLiteral("five"));
    QCOMPARE(style.getSpareText6(), QStringLiteral("six"));
}

void tst_ZnStyleCommon::setUpForProgramFillsEveryFolderAndTheFont() {
    ZnStyleCommon style;
    style.setUpForProgram(QStringLiteral("/opt/corvane"));
    QCOMPARE(style.getSkinPath(), QStringLiteral("/opt/corvane/skin/"));
    QCOMPARE(style.getQssPath(), QStringLiteral("/opt/corvane/skin/Qss/"));
    QCOMPARE(style.getBackupPath(), QStringLiteral("/opt/corvane/backup/"));
    QCOMPARE(style.getTempPath(), QStringLiteral("/opt/corvane/temp/"));
    QCOMPARE(style.getFont(0).family(), QStringLiteral("Segoe UI"));
    QVERIFY(!QFont::substitutes(QStringLiteral("Segoe UI")).isEmpty());
}

void tst_ZnStyleCommon::skinPaths() {
    // GetSkinPath has no trailing slash (callers append "/Application/...").
    platform::setApplicationDir(QStringLiteral("/opt/corvane"));
    QCOMPARE(QString::fromStdString(GetSkinPath()), QStringLiteral("/opt/corvane/skin"));
    platform::setApplicationDir(QString());
    QCOMPARE(QString::fromStdString(GetSkinPath()), platform::applicationDir() + QStringLiteral("/skin"));
}

void tst_ZnStyleCommon::platformFontsDrawSegoeWithAnInstalledFont() {
    ZnStyleCommon::installPlatformFonts();
    ZnStyleCommon::installPlatformFonts();  // a second call adds nothing
    // Qt keeps substitutes in lower case.
    QCOMPARE(QFont::substitutes(QStringLiteral("Segoe UI")),
             (QStringList{QStringLiteral("noto sans"), QStringLiteral("dejavu sans")}));
    QVERIFY(!QFont::substitutes(QStringLiteral("Tahoma")).isEmpty());
    ZnStyleCommon style;
    style.setFontFamily(QStringLiteral("Segoe UI"));
    const QString resolved = QFontInfo(style.getFont(0)).family();
    QVERIFY2(resolved == QLatin1String("Noto Sans") || resolved == QLatin1String("DejaVu Sans"), qPrintable(resolved));
}

QTEST_MAIN(tst_ZnStyleCommon)
#include "tst_ZnStyleCommon.moc"
