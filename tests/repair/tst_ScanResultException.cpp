// The detection result page and its status cells: rows from the check
// results, the details button per state, and the page's three signals.
#include <QApplication>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

#include "repair/ComponentStatus.h"
#include "RepairTestSupport.h"
#include "repair/ScanResultException.h"
#include "toolkit/ZnStyleButton.h"

namespace {

ST_ITUNES_CHECK_RESULT record(int product, int status, const std::wstring& name = std::wstring(),
                              const std::wstring& version = L"12.10.11.2") {
    ST_ITUNES_CHECK_RESULT r;
    r.product = product;
    r.status = status;
    r.strName = name;
    r.strVersion = version;
    return r;
}

}  // namespace

class ScanResultExceptionTest : public QObject {
    Q_OBJECT

private:
    static QTableWidget* table(QWidget* page) {
        return page->findChild<QTableWidget*>(QStringLiteral("tableComponentList"));
    }
    static CComponentStatus* cell(QWidget* page, int row) {
        return qobject_cast<CComponentStatus*>(table(page)->cellWidget(row, 2));
    }
    static ZnStyleButton* details(QWidget* cellWidget) {
        return cellWidget->findChild<ZnStyleButton*>(QStringLiteral("pushButton_Exception"));
    }

private slots:
    void initTestCase() { repairtest::initStyle(); }

    void detailsButtonByState_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("details");
        QTest::newRow("2 success") << 2 << false;
        QTest::newRow("3 success, not sure") << 3 << false;
        QTest::newRow("4 missing") << 4 << false;
        QTest::newRow("5 damaged") << 5 << true;
        // Any other state keeps the cell as built: damaged look, details shown.
        QTest::newRow("0") << 0 << true;
        QTest::newRow("1") << 1 << true;
        QTest::newRow("6") << 6 << true;
        QTest::newRow("-4") << -4 << true;
        QTest::newRow("99") << 99 << true;
    }

    void detailsButtonByState() {
        QFETCH(int, state);
        QFETCH(bool, details);
        CComponentStatus status;
        QSignalSpy open(&status, &CComponentStatus::SignalOpenExceptionListDialog);
        status.SetStatus(kItunesProductType_Bonjour, state);
        ZnStyleButton* button = ScanResultExceptionTest::details(&status);
        QCOMPARE(!button->isHidden(), details);
        QCOMPARE(button->size(), QSize(14, 14));
        QCOMPARE(button->pos(), QPoint(69, 12));
        if (details) {
            button->click();
            QCOMPARE(open.count(), 1);
            QCOMPARE(open.at(0).at(0).toInt(), int(kItunesProductType_Bonjour));
        }
    }

    // Rows show "   " and the name (the product's name when the record has
    // none) and the version; column widths are set even for an empty list.
    void rows() {
        CScanResultException page;
        page.LoadComponentData({});
        QCOMPARE(table(&page)->rowCount(), 0);
        QCOMPARE(table(&page)->columnCount(), 3);
        QCOMPARE(table(&page)->columnWidth(0), 210);
        QCOMPARE(table(&page)->columnWidth(1), 105);
        QCOMPARE(table(&page)->columnWidth(2), 105);
        QCOMPARE(table(&page)->horizontalHeaderItem(0)->text(), QStringLiteral("   Components"));

        page.LoadComponentData({record(kItunesProductType_AppleMobileDeviceSupport, 5),
                                record(kItunesProductType_iTunes, 2, L"iTunes 64-bit", L"12.9.0.164"), record(42, 4)});
        QCOMPARE(table(&page)->rowCount(), 3);
        QCOMPARE(table(&page)->item(0, 0)->text(), QStringLiteral("   Apple Mobile Device Support"));
        QCOMPARE(table(&page)->item(1, 0)->text(), QStringLiteral("   iTunes 64-bit"));
        QCOMPARE(table(&page)->item(2, 0)->text(), QStringLiteral("   unknown"));
        QCOMPARE(table(&page)->item(1, 1)->text(), QStringLiteral("12.9.0.164"));
        QCOMPARE(table(&page)->item(1, 1)->textAlignment(), int(Qt::AlignCenter));
        QCOMPARE(table(&page)->item(0, 0)->foreground().color(), QColor(97, 108, 114));
        QCOMPARE(table(&page)->rowHeight(0), 34);
        QVERIFY(!details(cell(&page, 0))->isHidden());
        QVERIFY(details(cell(&page, 1))->isHidden());
        QVERIFY(details(cell(&page, 2))->isHidden());
    }

    // Loads append; only the very first row is ever selected.
    void loadsAppend() {
        CScanResultException page;
        page.LoadComponentData({record(1, 5), record(3, 5)});
        page.LoadComponentData({record(4, 4)});
        QCOMPARE(table(&page)->rowCount(), 3);
        QCOMPARE(table(&page)->item(2, 0)->text(), QStringLiteral("   Bonjour"));
        const QModelIndexList selected = table(&page)->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.at(0).row(), 0);
    }

    // A details button asks for the dialog of its row's product, also when
    // several rows carry the same product.
    void detailsAskForTheDialog() {
        CScanResultException page;
        QSignalSpy show(&page, &CScanResultException::SignalShowComponentDamageListDialog);
        page.LoadComponentData({record(5, 5), record(3, 5), record(3, 0)});
        details(cell(&page, 2))->click();
        details(cell(&page, 0))->click();
        details(cell(&page, 1))->click();
        QCOMPARE(show.count(), 3);
        QCOMPARE(show.at(0).at(0).toInt(), 3);
        QCOMPARE(show.at(1).at(0).toInt(), 5);
        QCOMPARE(show.at(2).at(0).toInt(), 3);
    }

    void backAsksFirst_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("home");
        QTest::newRow("Yes") << int(ZnMessageBoxButton::Yes) << 1;
        QTest::newRow("No") << int(ZnMessageBoxButton::No) << 0;
    }

    void backAsksFirst() {
        QFETCH(int, answer);
        QFETCH(int, home);
        CScanResultException page;
        page.LoadComponentData({record(1, 5)});
        QSignalSpy back(&page, &CScanResultException::SignalBackHome);
        repairtest::answerNextBox(answer);
        page.findChild<ZnStyleButton*>(QStringLiteral("pushButton_BackHome"))->click();
        QCOMPARE(back.count(), home);
        QCOMPARE(table(&page)->rowCount(), 1);
    }

    // Repair asks nothing.
    void repairAtOnce() {
        CScanResultException page;
        QSignalSpy fix(&page, &CScanResultException::SignalFixiTunes);
        page.findChild<ZnStyleButton*>(QStringLiteral("pushButton_Fix"))->click();
        QCOMPARE(fix.count(), 1);
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(ScanResultExceptionTest)
#include "tst_ScanResultException.moc"
