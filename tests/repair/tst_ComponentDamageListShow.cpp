// The damaged-file dialog (the capped list of a component's files, the list
// of occupied files) and the fixed scroll area that holds the list.
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include "repair/ComponentDamageListShow.h"
#include "repair/FixScrollArea.h"
#include "RepairTestSupport.h"
#include "toolkit/ZnStyleButton.h"

Q_DECLARE_METATYPE(std::wstring)

namespace {

const QString kFormHeading =
    QStringLiteral("This software component is damaged, because the following files are missing or damaged:");

ST_ITUNES_CHECK_RESULT damaged(int product, int count, const std::wstring& prefix = L"file") {
    ST_ITUNES_CHECK_RESULT r;
    r.product = product;
    r.status = kCheckItunesProductState_Item_Fail_Bad;
    for (int i = 1; i <= count; ++i)
        r.vecDamageFile.push_back(L"C:\\Program Files\\Common Files\\Apple\\" + prefix + std::to_wstring(i) + L".dll");
    return r;
}

QString damagedLines(int from, int to, const QString& prefix = QStringLiteral("file")) {
    QString text;
    for (int i = from; i <= to; ++i) text += QStringLiteral(" \u00B7 %1%2.dll\n").arg(prefix).arg(i);
    return text;
}

}  // namespace

class ComponentDamageListShowTest : public QObject {
    Q_OBJECT

private:
    static QLabel* list(QWidget* dialog) { return dialog->findChild<QLabel*>(QStringLiteral("label_componentList")); }
    static QLabel* heading(QWidget* dialog) { return dialog->findChild<QLabel*>(QStringLiteral("label_text")); }

private slots:
    void initTestCase() { repairtest::initStyle(); }

    void cap_data() {
        QTest::addColumn<int>("files");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << 0 << QString();
        QTest::newRow("1") << 1 << damagedLines(1, 1);
        QTest::newRow("51: all, no ellipsis") << 51 << damagedLines(1, 51);
        QTest::newRow("52: all, then the ellipsis") << 52 << damagedLines(1, 52) + QStringLiteral("   ...");
        QTest::newRow("100: 52, then the ellipsis") << 100 << damagedLines(1, 52) + QStringLiteral("   ...");
    }

    void cap() {
        QFETCH(int, files);
        QFETCH(QString, text);
        CComponentDamageListShow dialog;
        dialog.SetComponentDamageList({damaged(kItunesProductType_Bonjour, files)}, kItunesProductType_Bonjour);
        QCOMPARE(list(&dialog)->text(), text);
    }

    // The last record of the product counts; other products are ignored.
    void laterRecordWins() {
        CComponentDamageListShow dialog;
        dialog.SetComponentDamageList({damaged(3, 2, L"first"), damaged(1, 4, L"other"), damaged(3, 3, L"second")}, 3);
        QCOMPARE(list(&dialog)->text(), damagedLines(1, 3, QStringLiteral("second")));
    }

    // A product no record carries leaves the form's texts.
    void unknownProduct() {
        CComponentDamageListShow dialog;
        dialog.SetComponentDamageList({damaged(3, 2)}, 4);
        QCOMPARE(list(&dialog)->text(), QStringLiteral("TextLabel"));
        QCOMPARE(heading(&dialog)->text(), kFormHeading);

        dialog.SetComponentDamageList({damaged(4, 1)}, 4);
        dialog.SetComponentDamageList({}, 4);
        QCOMPARE(list(&dialog)->text(), damagedLines(1, 1));
    }

    void fileNames_data() {
        QTest::addColumn<std::wstring>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("Windows path") << std::wstring(L"C:\\Windows\\System32\\mDNSResponder.exe")
                                      << "mDNSResponder.exe";
        QTest::newRow("slashes") << std::wstring(L"/usr/lib/apple/AppleMobileDevice.so") << "AppleMobileDevice.so";
        QTest::newRow("no separator") << std::wstring(L"iTunes.exe") << "iTunes.exe";
        QTest::newRow("ends in a separator") << std::wstring(L"C:\\Program Files\\iTunes\\") << "";
        QTest::newRow("looks like markup")
            << std::wstring(L"C:\\x\\<b>Apple<br>Mobile.dll") << "<b>Apple<br>Mobile.dll";
    }

    // Names without their folders; the list is plain text, so a name that
    // looks like markup is shown as written and the lines stay lines.
    void fileNames() {
        QFETCH(std::wstring, path);
        QFETCH(QString, name);
        CComponentDamageListShow dialog;
        ST_ITUNES_CHECK_RESULT r;
        r.product = 1;
        r.vecDamageFile = {path, L"C:\\a\\next.dll"};
        dialog.SetComponentDamageList({r}, 1);
        QCOMPARE(list(&dialog)->text(), QStringLiteral(" \u00B7 ") + name + QStringLiteral("\n \u00B7 next.dll\n"));
        QCOMPARE(list(&dialog)->textFormat(), Qt::PlainText);

        dialog.SetFileOccupiedList({path, L"C:\\a\\next.dll"});
        QCOMPARE(list(&dialog)->text(), name + QStringLiteral("\nnext.dll\n"));
    }

    // The occupied-file list: every name, one per line, no prefix, no cap,
    // under the heading the caller sets.
    void occupiedFiles() {
        CComponentDamageListShow dialog;
        std::vector<std::wstring> paths;
        QString expected;
        for (int i = 0; i < 60; ++i) {
            paths.push_back(L"C:\\Users\\me\\Music\\iTunes\\track" + std::to_wstring(i) + L".m4a");
            expected += QStringLiteral("track%1.m4a\n").arg(i);
        }
        dialog.SetFileOccupiedList(paths);
        dialog.SetTitleText(QStringLiteral("The following files have not been cleaned because they are occupied:"));
        QCOMPARE(list(&dialog)->text(), expected);
        QCOMPARE(heading(&dialog)->text(),
                 QStringLiteral("The following files have not been cleaned because they are occupied:"));

        dialog.SetFileOccupiedList({});
        QCOMPARE(list(&dialog)->text(), QString());
    }

    // The close button ends the modal run.
    void closeButtonEndsTheDialog() {
        CComponentDamageListShow dialog;
        QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
        dialog.setFixedSize(401, 198);
        QTimer::singleShot(
            0, &dialog, [&dialog] { dialog.findChild<ZnStyleButton*>(QStringLiteral("pushButton_close"))->click(); });
        QElapsedTimer clock;
        clock.start();
        dialog.exec();
        QVERIFY(dialog.isHidden());
        QVERIFY(clock.elapsed() < 5000);
    }

    // A long list scrolls vertically; the area reports its running totals,
    // which are minus the scroll bar's value when starting from the top.
    void scrollTotals() {
        CComponentDamageListShow dialog;
        dialog.SetComponentDamageList({damaged(1, 40)}, 1);
        dialog.show();
        auto* area = dialog.findChild<CFixScrollArea*>(QStringLiteral("TableMessageDetail"));
        QVERIFY(area);
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QScrollBar* bar = area->verticalScrollBar();
        QVERIFY(bar->maximum() > 10);
        QCOMPARE(area->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

        QSignalSpy totals(area, &CFixScrollArea::signalScrollPoint);
        bar->setValue(10);
        bar->setValue(6);
        QCOMPARE(totals.count(), 2);
        QCOMPARE(totals.at(0), (QList<QVariant>{0, -10}));
        QCOMPARE(totals.at(1), (QList<QVariant>{0, -6}));
    }
};

QTEST_MAIN(ComponentDamageListShowTest)
#include "tst_ComponentDamageListShow.moc"
