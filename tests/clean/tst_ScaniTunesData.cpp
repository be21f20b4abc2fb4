// The scan result page: loading the controller's items while the scan runs,
// the end of the scan, the selection and its sizes, the clean request, a new
// scan on the same page, the scan views and the two confirmations.
#include <QHeaderView>
#include <QLayout>
#include <QMovie>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <vector>

#include "clean/CheckBoxWidget.h"
#include "CleanTestSupport.h"
#include "clean/FileSize.h"
#include "clean/ScaniTunesData.h"
#include "clean/SubUserDataCheckBox.h"
#include "clean/TableCheckBox.h"
#include "toolkit/ZnStyleButton.h"

using namespace cleantest;

namespace {

const char* const kDetailTables[] = {"tableMediaFileSecondLevelDirList", "tableiOSBackupFileSecondLevelDirList",
                                     "tableUpdateFileSecondLevelDirList", "tableOtherFileSecondLevelDirList"};

QTableWidget* table(const QWidget* page, int category) {
    return child<QTableWidget>(page, category == 0 ? "tableFirstLevelDirList" : kDetailTables[category - 1]);
}

CTableCheckBox* categoryRow(const QWidget* page, int category) {
    return qobject_cast<CTableCheckBox*>(table(page, 0)->cellWidget(category - 1, 0));
}

// The row of a detail table for a subtype (categories 1, 3, 4) or the backup
// row with a device name (category 2), and the size cell beside it.
CSubUserDataCheckBox* detailRow(const QWidget* page, int category, int subTypeOrRow) {
    QTableWidget* t = table(page, category);
    int row = subTypeOrRow;
    if (category == 1) row = subTypeOrRow - 1;
    if (category == 3) row = subTypeOrRow - 13;
    if (category == 4) row = subTypeOrRow - 15;
    return qobject_cast<CSubUserDataCheckBox*>(t->cellWidget(row, 0));
}
QString sizeCellText(const QWidget* page, int category, int subTypeOrRow) {
    QTableWidget* t = table(page, category);
    int row = subTypeOrRow;
    if (category == 1) row = subTypeOrRow - 1;
    if (category == 3) row = subTypeOrRow - 13;
    if (category == 4) row = subTypeOrRow - 15;
    auto* cell = qobject_cast<CFileSize*>(t->cellWidget(row, t->columnCount() - 1));
    return cell ? text(cell, "label_fileSize") : QString();
}

QCheckBox* allBox(const QWidget* page) { return boxOf(page->findChild<CCheckBoxWidget*>()); }
QWidget* cleanButton(const QWidget* page) { return child(page, "pushButton_Clean"); }

std::vector<int> subTypeRequest(CScaniTunesData& page) {
    std::vector<int> v;
    page.GetUserDataSubTypeList(v);
    return v;
}
std::vector<int> backupRequest(CScaniTunesData& page) {
    std::vector<int> v;
    page.GetBackupIdList(v);
    return v;
}

// The visible detail table, as its category number.
int shownDetailTable(const QWidget* page) {
    int shown = 0;
    for (int c = 1; c <= 4; ++c) {
        if (!table(page, c)->isHidden()) {
            if (shown) return -1;
            shown = c;
        }
    }
    return shown;
}

// A scan with data in every category: media Music 3 MiB and Movies 2 MiB
// (category 5 MiB), two backups (ids 7 and 9), iOS update files 4 MiB, and
// Cache 1 MiB with Logs 512 KiB.
void reportFullScan() {
    report(item(1, 1, 3 * kMiB, 5 * kMiB));
    report(item(1, 2, 2 * kMiB, 5 * kMiB));
    report(backup(7, L"Old Phone", L"2018-03-04T05:06:07Z", 600 * kKiB, 1600 * kKiB));
    report(backup(9, L"iPad", L"2020-01-02T03:04:05Z", 1000 * kKiB, 1600 * kKiB));
    report(item(3, 14, 4 * kMiB, 4 * kMiB));
    report(item(4, 16, 1 * kMiB, 1536 * kKiB));
    report(item(4, 18, 512 * kKiB, 1536 * kKiB));
}
constexpr qint64 kFullScanTotal = 5 * kMiB + 1600 * kKiB + 4 * kMiB + 1536 * kKiB;

}  // namespace

Q_DECLARE_METATYPE(std::vector<int>)

class ScaniTunesDataTest : public QObject {
    Q_OBJECT

private:
    // A page that has scanned `reportFullScan` to its end.
    static void finishFullScan(CScaniTunesData& page, int scene = 1) {
        page.InitScanView(scene);
        reportFullScan();
        page.SlotLoadiTunesUserData();
        page.SlotScaniTunesUserDataFinished();
    }

private slots:
    void initTestCase() {
        initEnvironment();
        qRegisterMetaType<std::vector<int>>();
    }
    void init() { g_pController->ClearUserDataItems(); }
    void cleanup() { flushDeletes(); }

    void constructedPage() {
        CScaniTunesData page;
        QVERIFY(child(&page, "pushButton_Back")->isHidden());
        QVERIFY(!cleanButton(&page)->isEnabled());
        QTableWidget* categories = table(&page, 0);
        QCOMPARE(categories->rowCount(), 4);
        QCOMPARE(categories->columnCount(), 1);
        for (int c = 1; c <= 4; ++c) {
            QCOMPARE(categoryRow(&page, c)->GetUserDataType(), c);
            QCOMPARE(categories->rowHeight(c - 1), 71);
        }
        QVERIFY(categories->horizontalHeader()->minimumHeight() >= 40);
        QCOMPARE(categories->currentRow(), 0);
        // The select-all box stands over the category table's header, at
        // (80, 12), 140 x 14; its text fits beside the box in that width.
        auto* all = page.findChild<CCheckBoxWidget*>();
        QCOMPARE(all->parentWidget(), categories);
        QCOMPARE(all->geometry(), QRect(80, 12, 140, 14));
        auto* allText = all->findChild<QLabel*>(QStringLiteral("label"));
        QCOMPARE(allText->text(), QStringLiteral("All iTunes Data"));
        QVERIFY(14 + 12 + allText->fontMetrics().horizontalAdvance(allText->text()) <= 140);

        const QStringList media = {QStringLiteral("Type"), QStringLiteral("Size")};
        const QStringList backups = {QStringLiteral("Device Name"), QStringLiteral("Backup Time"),
                                     QStringLiteral("Size")};
        for (int c = 1; c <= 4; ++c) {
            QTableWidget* t = table(&page, c);
            QStringList headers;
            for (int i = 0; i < t->columnCount(); ++i) headers << t->horizontalHeaderItem(i)->text();
            QCOMPARE(headers, c == 2 ? backups : media);
            QVERIFY(!t->showGrid());
        }
    }

    void itemsArriveOverSeveralPolls() {
        CScaniTunesData page;
        page.InitScanView(1);
        page.SlotLoadiTunesUserData();  // nothing reported yet
        QCOMPARE(text(&page, "label_freeSize"), QStringLiteral("0GB"));

        report(item(1, 1, 3 * kMiB, 5 * kMiB));
        report(item(3, 13, 2 * kMiB, 2 * kMiB));
        page.SlotLoadiTunesUserData();
        QCOMPARE(categoryRow(&page, 1)->GetFileSize(), 5 * kMiB);
        QCOMPARE(categoryRow(&page, 3)->GetFileSize(), 2 * kMiB);
        for (const char* label : {"label_freeSize", "label_freeMolecular", "label_totalDenominator"})
            QCOMPARE(text(&page, label), QStringLiteral("7MB"));

        // The next poll loads only what arrived since; loading an item twice
        // would show its size twice in the total.
        report(item(1, 2, 2 * kMiB, 5 * kMiB));
        report(item(4, 19, 1 * kMiB, 1 * kMiB));
        page.SlotLoadiTunesUserData();
        page.SlotLoadiTunesUserData();
        QCOMPARE(text(&page, "label_totalDenominator"), QStringLiteral("8MB"));
        QCOMPARE(sizeCellText(&page, 1, 1), QStringLiteral("3MB"));
        QCOMPARE(sizeCellText(&page, 1, 2), QStringLiteral("2MB"));
        QCOMPARE(sizeCellText(&page, 3, 13), QStringLiteral("2MB"));
        QCOMPARE(sizeCellText(&page, 4, 19), QStringLiteral("1MB"));
        QCOMPARE(sizeCellText(&page, 1, 3), QStringLiteral("0MB"));

        // While the scan runs the rows show their checks but none can be clicked.
        QVERIFY(detailRow(&page, 1, 1)->IsChecked());
        QVERIFY(!boxOf(detailRow(&page, 1, 1))->isEnabled());
        QVERIFY(!boxOf(categoryRow(&page, 1))->isEnabled());
        QVERIFY(!cleanButton(&page)->isEnabled());
    }

    void laterItemOfSameSubtypeReplacesItsSize() {
        CScaniTunesData page;
        page.InitScanView(1);
        report(item(1, 1, 3 * kMiB, 3 * kMiB));
        report(item(1, 1, 4 * kMiB, 4 * kMiB));
        page.SlotLoadiTunesUserData();
        QCOMPARE(sizeCellText(&page, 1, 1), QStringLiteral("4MB"));
        QCOMPARE(text(&page, "label_totalDenominator"), QStringLiteral("4MB"));
    }

    void subtypeOutsideItsCategoryShowsNoSize() {
        // A media item that names an update subtype: the size must not show
        // beside the update row, whose box would then not match it.
        CScaniTunesData page;
        page.InitScanView(1);
        report(item(1, 13, 3 * kMiB, 3 * kMiB));
        page.SlotLoadiTunesUserData();
        QCOMPARE(sizeCellText(&page, 3, 13), QStringLiteral("0MB"));
        QVERIFY(!detailRow(&page, 3, 13)->IsChecked());
    }

    void backupRows() {
        CScaniTunesData page;
        page.InitScanView(1);
        report(backup(4, L"", L"2019-05-06T07:08:09Z", 2 * kMiB, 9 * kMiB));
        report(backup(8, L"Anna's iPhone", L"2021-11-12T13:14:15Z", 3 * kMiB, 9 * kMiB));
        report(backup(6, L"iPad", L"2020-01-02T03:04:05Z", 4 * kMiB, 9 * kMiB));
        page.SlotLoadiTunesUserData();

        // The category shows the item's size of all backups, not its category size.
        QCOMPARE(categoryRow(&page, 2)->GetFileSize(), 9 * kMiB);
        QTableWidget* t = table(&page, 2);
        QCOMPARE(t->rowCount(), 3);
        QCOMPARE(text(detailRow(&page, 2, 0), "label_text"), QStringLiteral("Unknown"));
        QCOMPARE(t->item(0, 1)->text(), QStringLiteral("2019-05-0607:08:09"));
        QCOMPARE(t->item(0, 1)->textAlignment(), int(Qt::AlignCenter));
        QCOMPARE(sizeCellText(&page, 2, 0), QStringLiteral("2MB"));
        QCOMPARE(t->rowHeight(0), 40);
        QCOMPARE(t->currentRow(), 0);

        page.SlotScaniTunesUserDataFinished();
        // Newest first; the cells move with their rows and the request
        // follows the order shown.
        QStringList times, names;
        for (int row = 0; row < 3; ++row) {
            times << t->item(row, 1)->text();
            names << text(detailRow(&page, 2, row), "label_text");
        }
        QCOMPARE(times, (QStringList{"2021-11-1213:14:15", "2020-01-0203:04:05", "2019-05-0607:08:09"}));
        QCOMPARE(names, (QStringList{"Anna's iPhone", "iPad", "Unknown"}));
        QCOMPARE(sizeCellText(&page, 2, 0), QStringLiteral("3MB"));
        QCOMPARE(backupRequest(page), (std::vector<int>{8, 6, 4}));
        QCOMPARE(subTypeRequest(page), std::vector<int>{});
    }

    void scanProgressBar_data() {
        QTest::addColumn<bool>("counters");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("bar");
        QTest::newRow("42 of 100") << true << 42 << 100 << 42;
        QTest::newRow("truncated") << true << 2 << 3 << 66;
        QTest::newRow("no counters") << false << 0 << 0 << 0;
        QTest::newRow("total 0") << true << 5 << 0 << 0;
        QTest::newRow("nothing of nothing") << true << 0 << 0 << 0;
        QTest::newRow("negative total") << true << 5 << -10 << 0;
        QTest::newRow("done") << true << 100 << 100 << 0;
        QTest::newRow("beyond the total") << true << 2000000000 << 3 << 0;
    }
    void scanProgressBar() {
        QFETCH(bool, counters);
        QFETCH(int, current);
        QFETCH(int, total);
        QFETCH(int, bar);
        ST_ITUNES_SCAN_COUNT count{0, current, total};
        CScaniTunesData page;
        page.InitScanView(1);
        QCOMPARE(barValue(&page), 0);
        report(item(1, 1, kMiB, kMiB, counters ? &count : nullptr));
        page.SlotLoadiTunesUserData();
        QCOMPARE(barValue(&page), bar);
        // The end of the scan polls once more through the same counters.
        page.SlotScaniTunesUserDataFinished();
        QCOMPARE(barValue(&page), bar);
    }

    void progressFollowsTheLastItem() {
        ST_ITUNES_SCAN_COUNT counted{0, 30, 60};
        CScaniTunesData page;
        page.InitScanView(1);
        report(item(1, 1, kMiB, kMiB, &counted));
        report(item(1, 2, kMiB, 2 * kMiB, nullptr));
        page.SlotLoadiTunesUserData();
        QCOMPARE(barValue(&page), 0);
        report(item(1, 3, kMiB, 3 * kMiB, &counted));
        page.SlotLoadiTunesUserData();
        QCOMPARE(barValue(&page), 50);
        QCOMPARE(barText(&page), QStringLiteral("50%"));
    }

    void endOfScan() {
        CScaniTunesData page;
        finishFullScan(page);

        const std::pair<int, int> sized[] = {{1, 1}, {1, 2}, {3, 14}, {4, 16}, {4, 18}};
        for (auto [category, subType] : sized) {
            CSubUserDataCheckBox* row = detailRow(&page, category, subType);
            QVERIFY(row->IsChecked());
            QVERIFY(boxOf(row)->isEnabled());
        }
        const std::pair<int, int> empty[] = {{1, 3}, {1, 11}, {3, 13}, {4, 15}, {4, 19}};
        for (auto [category, subType] : empty) {
            CSubUserDataCheckBox* row = detailRow(&page, category, subType);
            QVERIFY(!row->IsChecked());
            QVERIFY(!boxOf(row)->isEnabled());
        }
        for (int row = 0; row < 2; ++row) QVERIFY(boxOf(detailRow(&page, 2, row))->isEnabled());
        for (int c = 1; c <= 4; ++c) {
            QCOMPARE(categoryRow(&page, c)->GetCheckState(), int(Qt::Checked));
            QVERIFY(boxOf(categoryRow(&page, c))->isEnabled());
        }
        QCOMPARE(allBox(&page)->checkState(), Qt::Checked);
        QVERIFY(allBox(&page)->isEnabled());
        QVERIFY(cleanButton(&page)->isEnabled());
        const QString total = ZnStyleCommon::formatFileSize(kFullScanTotal);
        QCOMPARE(text(&page, "label_freeSize"), total);
        QCOMPARE(text(&page, "label_freeMolecular"), total);
        QCOMPARE(text(&page, "label_totalDenominator"), total);
        QCOMPARE(child(&page, "widget_ScanProgress")->maximumHeight(), 0);
        QVERIFY(!child(&page, "pushButton_Back")->isHidden());
        QCOMPARE(shownDetailTable(&page), 1);

        QCOMPARE(subTypeRequest(page), (std::vector<int>{1, 2, 14, 16, 18}));
        QCOMPARE(backupRequest(page), (std::vector<int>{9, 7}));
    }

    void firstSizedCategoryOpens_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("subType");
        QTest::newRow("backups") << 2 << 12;
        QTest::newRow("updates") << 3 << 13;
        QTest::newRow("other") << 4 << 17;
    }
    void firstSizedCategoryOpens() {
        QFETCH(int, type);
        QFETCH(int, subType);
        CScaniTunesData page;
        page.InitScanView(0);
        report(type == 2 ? backup(1, L"iPhone", L"2020-01-01T00:00:00Z", kMiB, kMiB) : item(type, subType, kMiB, kMiB));
        page.SlotScaniTunesUserDataFinished();
        QCOMPARE(shownDetailTable(&page), type);
        QCOMPARE(table(&page, 0)->currentRow(), type - 1);
    }

    void scanThatFindsNothing() {
        CScaniTunesData page;
        page.InitScanView(1);
        report(item(1, 1, 0, 0));
        page.SlotScaniTunesUserDataFinished();
        for (const char* label : {"label_freeSize", "label_freeMolecular", "label_totalDenominator"})
            QCOMPARE(text(&page, label), QStringLiteral("0GB"));
        QVERIFY(!cleanButton(&page)->isEnabled());
        QVERIFY(!allBox(&page)->isEnabled());
        for (int c = 1; c <= 4; ++c) QVERIFY(!boxOf(categoryRow(&page, c))->isEnabled());
        QVERIFY(!child(&page, "pushButton_Back")->isHidden());
        QCOMPARE(shownDetailTable(&page), 1);
        QCOMPARE(subTypeRequest(page), std::vector<int>{});
        QCOMPARE(backupRequest(page), std::vector<int>{});
    }

    void uncheckingMediaRows() {
        CScaniTunesData page;
        finishFullScan(page);

        boxOf(detailRow(&page, 1, 1))->click();  // Music, 3 MiB
        QCOMPARE(categoryRow(&page, 1)->GetCheckState(), int(Qt::PartiallyChecked));
        QCOMPARE(allBox(&page)->checkState(), Qt::PartiallyChecked);
        QVERIFY(cleanButton(&page)->isEnabled());
        QCOMPARE(text(&page, "label_freeSize"), ZnStyleCommon::formatFileSize(kFullScanTotal - 3 * kMiB));
        QCOMPARE(text(&page, "label_freeMolecular"), ZnStyleCommon::formatFileSize(kFullScanTotal - 3 * kMiB));
        QCOMPARE(text(&page, "label_totalDenominator"), ZnStyleCommon::formatFileSize(kFullScanTotal));

        boxOf(detailRow(&page, 1, 2))->click();  // Movies, 2 MiB
        QCOMPARE(categoryRow(&page, 1)->GetCheckState(), int(Qt::Unchecked));
        QCOMPARE(allBox(&page)->checkState(), Qt::PartiallyChecked);
        QCOMPARE(text(&page, "label_freeSize"), ZnStyleCommon::formatFileSize(kFullScanTotal - 5 * kMiB));

        boxOf(detailRow(&page, 1, 2))->click();
        QCOMPARE(categoryRow(&page, 1)->GetCheckState(), int(Qt::PartiallyChecked));
        QCOMPARE(subTypeRequest(page), (std::vector<int>{2, 14, 16, 18}));
    }

    void uncheckingABackupRow() {
        CScaniTunesData page;
        finishFullScan(page);
        boxOf(detailRow(&page, 2, 0))->click();  // the iPad (id 9), newest first
        QCOMPARE(categoryRow(&page, 2)->GetCheckState(), int(Qt::PartiallyChecked));
        QCOMPARE(text(&page, "label_freeSize"), ZnStyleCommon::formatFileSize(kFullScanTotal - 1000 * kKiB));
        QCOMPARE(backupRequest(page), std::vector<int>{7});
    }

    void uncheckingEveryCategory() {
        CScaniTunesData page;
        finishFullScan(page);
        for (int c = 1; c <= 3; ++c) {
            boxOf(categoryRow(&page, c))->click();
            QCOMPARE(allBox(&page)->checkState(), Qt::PartiallyChecked);
            QVERIFY(cleanButton(&page)->isEnabled());
        }
        boxOf(categoryRow(&page, 4))->click();
        QCOMPARE(allBox(&page)->checkState(), Qt::Unchecked);
        QVERIFY(!cleanButton(&page)->isEnabled());
        QCOMPARE(text(&page, "label_freeSize"), QStringLiteral("0B"));
        QCOMPARE(subTypeRequest(page), std::vector<int>{});
        QCOMPARE(backupRequest(page), std::vector<int>{});

        // Checking a category again from its unchecked state checks it whole.
        boxOf(categoryRow(&page, 3))->click();
        QCOMPARE(categoryRow(&page, 3)->GetCheckState(), int(Qt::Checked));
        QVERIFY(cleanButton(&page)->isEnabled());
        QCOMPARE(subTypeRequest(page), std::vector<int>{14});
        QCOMPARE(text(&page, "label_freeSize"), QStringLiteral("4MB"));
    }

    void partialCategoryClickedChecksItWhole() {
        CScaniTunesData page;
        finishFullScan(page);
        boxOf(detailRow(&page, 4, 16))->click();
        QCOMPARE(categoryRow(&page, 4)->GetCheckState(), int(Qt::PartiallyChecked));
        boxOf(categoryRow(&page, 4))->click();
        QCOMPARE(categoryRow(&page, 4)->GetCheckState(), int(Qt::Checked));
        QVERIFY(detailRow(&page, 4, 16)->IsChecked());
        QCOMPARE(allBox(&page)->checkState(), Qt::Checked);
        QCOMPARE(text(&page, "label_freeSize"), ZnStyleCommon::formatFileSize(kFullScanTotal));
    }

    void selectAll() {
        CScaniTunesData page;
        finishFullScan(page);
        allBox(&page)->click();  // checked -> unchecked
        for (int c = 1; c <= 4; ++c) QCOMPARE(categoryRow(&page, c)->GetCheckState(), int(Qt::Unchecked));
        QVERIFY(!cleanButton(&page)->isEnabled());
        QCOMPARE(text(&page, "label_freeSize"), QStringLiteral("0B"));
        QCOMPARE(subTypeRequest(page), std::vector<int>{});
        QCOMPARE(backupRequest(page), std::vector<int>{});

        allBox(&page)->click();
        QCOMPARE(allBox(&page)->checkState(), Qt::Checked);
        for (int c = 1; c <= 4; ++c) QCOMPARE(categoryRow(&page, c)->GetCheckState(), int(Qt::Checked));
        QVERIFY(cleanButton(&page)->isEnabled());
        QCOMPARE(text(&page, "label_freeSize"), ZnStyleCommon::formatFileSize(kFullScanTotal));
        QCOMPARE(subTypeRequest(page), (std::vector<int>{1, 2, 14, 16, 18}));
        // Rows without data take no part.
        QVERIFY(!detailRow(&page, 1, 3)->IsChecked());

        // From partial, a click selects everything.
        boxOf(detailRow(&page, 1, 1))->click();
        QCOMPARE(allBox(&page)->checkState(), Qt::PartiallyChecked);
        allBox(&page)->click();
        QCOMPARE(allBox(&page)->checkState(), Qt::Checked);
        QVERIFY(detailRow(&page, 1, 1)->IsChecked());
    }

    // What the user sees checked is exactly what is sent to the clean.
    void cleanRequest_data() {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<std::vector<int>>("subTypes");
        QTest::addColumn<std::vector<int>>("backupIds");
        QTest::newRow("all") << QStringList{} << std::vector<int>{1, 2, 14, 16, 18} << std::vector<int>{9, 7};
        QTest::newRow("none") << QStringList{"all"} << std::vector<int>{} << std::vector<int>{};
        QTest::newRow("one subtype") << QStringList{"all", "row 4 18"} << std::vector<int>{18} << std::vector<int>{};
        QTest::newRow("one backup") << QStringList{"all", "row 2 1"} << std::vector<int>{} << std::vector<int>{7};
        QTest::newRow("media partly") << QStringList{"row 1 2"} << std::vector<int>{1, 14, 16, 18}
                                      << std::vector<int>{9, 7};
        QTest::newRow("category off, one row back")
            << QStringList{"category 4", "row 4 16"} << std::vector<int>{1, 2, 14, 16} << std::vector<int>{9, 7};
        QTest::newRow("backups off") << QStringList{"category 2"} << std::vector<int>{1, 2, 14, 16, 18}
                                     << std::vector<int>{};
        QTest::newRow("disabled rows stay out")
            << QStringList{"row 1 3", "row 3 13"} << std::vector<int>{1, 2, 14, 16, 18} << std::vector<int>{9, 7};
    }
    void cleanRequest() {
        QFETCH(QStringList, clicks);
        QFETCH(std::vector<int>, subTypes);
        QFETCH(std::vector<int>, backupIds);
        CScaniTunesData page;
        finishFullScan(page);
        QSignalSpy clean(&page, &CScaniTunesData::SignalCleaniTunesUserData);

        for (const QString& click : clicks) {
            const QStringList parts = click.split(QLatin1Char(' '));
            if (parts.at(0) == QLatin1String("all"))
                allBox(&page)->click();
            else if (parts.at(0) == QLatin1String("category"))
                boxOf(categoryRow(&page, parts.at(1).toInt()))->click();
            else
                boxOf(detailRow(&page, parts.at(1).toInt(), parts.at(2).toInt()))->click();
        }

        // Collect what the page shows checked, table by table.
        std::vector<int> shownSubTypes, shownBackups;
        for (int c : {1, 3, 4}) {
            QTableWidget* t = table(&page, c);
            for (int row = 0; row < t->rowCount(); ++row) {
                auto* r = qobject_cast<CSubUserDataCheckBox*>(t->cellWidget(row, 0));
                if (r && boxOf(r)->checkState() == Qt::Checked) shownSubTypes.push_back(r->GetSubUserDataType());
            }
        }
        for (int row = 0; row < table(&page, 2)->rowCount(); ++row) {
            auto* r = detailRow(&page, 2, row);
            if (r && boxOf(r)->checkState() == Qt::Checked) shownBackups.push_back(r->GetId());
        }

        static_cast<QAbstractButton*>(cleanButton(&page))->click();
        const bool anything = !subTypes.empty() || !backupIds.empty();
        QCOMPARE(clean.count(), anything ? 1 : 0);
        QCOMPARE(subTypeRequest(page), subTypes);
        QCOMPARE(backupRequest(page), backupIds);
        QCOMPARE(subTypeRequest(page), shownSubTypes);
        QCOMPARE(backupRequest(page), shownBackups);
        // A category shows Checked only when all its rows go, Unchecked only when none does.
        for (int c = 1; c <= 4; ++c) {
            int on = 0, off = 0;
            QTableWidget* t = table(&page, c);
            for (int row = 0; row < t->rowCount(); ++row) {
                auto* r = qobject_cast<CSubUserDataCheckBox*>(t->cellWidget(row, 0));
                if (!r || r->GetFileSize() <= 0) continue;
                (r->IsChecked() ? on : off) += 1;
            }
            const int state = categoryRow(&page, c)->GetCheckState();
            if (state == Qt::Checked) QCOMPARE(off, 0);
            if (state == Qt::Unchecked) QCOMPARE(on, 0);
        }
    }

    void requestAppendsToTheCallersVectors() {
        CScaniTunesData page;
        finishFullScan(page);
        std::vector<int> subTypes{99}, backupIds{98};
        page.GetUserDataSubTypeList(subTypes);
        page.GetBackupIdList(backupIds);
        QCOMPARE(subTypes, (std::vector<int>{99, 1, 2, 14, 16, 18}));
        QCOMPARE(backupIds, (std::vector<int>{98, 9, 7}));
    }

    void selectionIsInertWhileScanning() {
        CScaniTunesData page;
        page.InitScanView(1);
        reportFullScan();
        page.SlotLoadiTunesUserData();
        // Whatever reaches the selection slots before the end changes nothing.
        page.SlotSetAlliTunesCheckBox(false);
        page.SlotCheckAllTypeFileCheckBox(1, false, 0);
        page.SlotCheckMediaFilesData(1, false, 0);
        QCOMPARE(text(&page, "label_freeSize"), ZnStyleCommon::formatFileSize(kFullScanTotal));
        QVERIFY(detailRow(&page, 1, 1)->IsChecked());
        QVERIFY(!cleanButton(&page)->isEnabled());
    }

    void repeatedEndKeepsTheSelection() {
        CScaniTunesData page;
        finishFullScan(page);
        boxOf(detailRow(&page, 1, 1))->click();
        page.SlotScaniTunesUserDataFinished();
        QCOMPARE(text(&page, "label_freeSize"), ZnStyleCommon::formatFileSize(kFullScanTotal - 3 * kMiB));
        QCOMPARE(subTypeRequest(page), (std::vector<int>{2, 14, 16, 18}));
    }

    void secondScanStartsAfresh() {
        CScaniTunesData page;
        finishFullScan(page);
        boxOf(detailRow(&page, 1, 1))->click();

        g_pController->ClearUserDataItems();
        page.InitScanView(1);
        flushDeletes();  // the cells the tables dropped are gone now

        QCOMPARE(text(&page, "label_freeSize"), QStringLiteral("0GB"));
        QVERIFY(!cleanButton(&page)->isEnabled());
        QVERIFY(!allBox(&page)->isEnabled());
        for (int c = 1; c <= 4; ++c) {
            QCOMPARE(categoryRow(&page, c)->GetFileSize(), qint64(0));
            QCOMPARE(categoryRow(&page, c)->GetCheckState(), int(Qt::Unchecked));
            // Not clickable again until the new scan has ended.
            QVERIFY(!boxOf(categoryRow(&page, c))->isEnabled());
        }
        QCOMPARE(sizeCellText(&page, 1, 1), QStringLiteral("0MB"));
        QVERIFY(!detailRow(&page, 1, 2)->IsChecked());
        QCOMPARE(subTypeRequest(page), std::vector<int>{});
        QCOMPARE(backupRequest(page), std::vector<int>{});
        // The earlier backup rows stay, emptied; new ones fill from row 0.
        QTableWidget* backups = table(&page, 2);
        QCOMPARE(backups->rowCount(), 2);
        QVERIFY(!backups->cellWidget(0, 0));
        QVERIFY(!backups->item(0, 1));

        report(backup(21, L"New Phone", L"2022-02-02T02:02:02Z", 5 * kMiB, 5 * kMiB));
        report(item(1, 5, kMiB, kMiB));
        page.SlotLoadiTunesUserData();
        QCOMPARE(backups->rowCount(), 3);
        QCOMPARE(text(detailRow(&page, 2, 0), "label_text"), QStringLiteral("New Phone"));
        QCOMPARE(sizeCellText(&page, 1, 5), QStringLiteral("1MB"));
        QCOMPARE(text(&page, "label_totalDenominator"), QStringLiteral("6MB"));

        page.SlotScaniTunesUserDataFinished();
        QCOMPARE(subTypeRequest(page), std::vector<int>{5});
        QCOMPARE(backupRequest(page), std::vector<int>{21});
        QCOMPARE(text(&page, "label_freeSize"), QStringLiteral("6MB"));
    }

    void categoryClickDuringARescan() {
        // A category box that could be clicked while the new scan runs would
        // stay unchecked at the end while its rows, checked by their sizes,
        // still went to the clean.
        CScaniTunesData page;
        finishFullScan(page);
        g_pController->ClearUserDataItems();
        page.InitScanView(1);
        reportFullScan();
        page.SlotLoadiTunesUserData();
        boxOf(categoryRow(&page, 1))->click();
        page.SlotScaniTunesUserDataFinished();
        QCOMPARE(categoryRow(&page, 1)->GetCheckState(), int(Qt::Checked));
        QCOMPARE(allBox(&page)->checkState(), Qt::Checked);
        QCOMPARE(subTypeRequest(page), (std::vector<int>{1, 2, 14, 16, 18}));
    }

    // Every cell of the earlier scan is freed by its table; a page that kept
    // one of them would read freed memory here (the sanitizer build sees it).
    void rescanThenClean() {
        CScaniTunesData page;
        finishFullScan(page, 0);
        for (int round = 0; round < 3; ++round) {
            g_pController->ClearUserDataItems();
            page.InitScanView(round % 2);
            flushDeletes();
            reportFullScan();
            report(item(1, 11, kMiB, 6 * kMiB));
            page.SlotLoadiTunesUserData();
            flushDeletes();
            page.SlotScaniTunesUserDataFinished();
            boxOf(detailRow(&page, 1, 2))->click();
            boxOf(detailRow(&page, 2, 1))->click();
            QSignalSpy clean(&page, &CScaniTunesData::SignalCleaniTunesUserData);
            static_cast<QAbstractButton*>(cleanButton(&page))->click();
            QCOMPARE(clean.count(), 1);
            QCOMPARE(subTypeRequest(page), (std::vector<int>{1, 11, 14, 16, 18}));
            QCOMPARE(backupRequest(page), std::vector<int>{9});
        }
    }

    void scanViews() {
        CScaniTunesData page;
        page.show();
        page.InitScanView(0);
        QWidget* bar = child(&page, "widgetProgressBar");
        auto* gif = child<QLabel>(&page, "label_gif");
        QVERIFY(bar->isHidden());
        QVERIFY(!gif->isHidden());
        QVERIFY(gif->movie());
        QCOMPARE(gif->movie()->fileName(), QStringLiteral(ZN_APP_DIR "/skin/gif/scanProgressBar700.gif"));
        QCOMPARE(gif->movie()->state(), QMovie::Running);
        QCOMPARE(child(&page, "widget_ScanProgress")->maximumHeight(), 80);
        QCOMPARE(text(&page, "label_scanTip"), QStringLiteral("Scanning iTunes, please wait..."));
        page.SlotScaniTunesUserDataFinished();
        QCOMPARE(gif->movie()->state(), QMovie::NotRunning);

        page.InitScanView(1);
        QVERIFY(!bar->isHidden());
        QVERIFY(gif->isHidden());
        QCOMPARE(child(&page, "widget_ScanProgress")->maximumHeight(), 80);
        QVERIFY(!child(&page, "pushButton_stop")->isHidden());
        // Back, shown at the end of the first scan, stays.
        QVERIFY(!child(&page, "pushButton_Back")->isHidden());
    }

    void pollTimer() {
        CScaniTunesData page;
        auto* timer = page.findChild<QTimer*>();
        QVERIFY(timer);
        QVERIFY(!timer->isActive());
        page.InitScanView(1);
        page.StartLoadTimer();
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 1000);
        report(item(1, 1, kMiB, kMiB));
        QMetaObject::invokeMethod(timer, "timeout");
        QCOMPARE(text(&page, "label_totalDenominator"), QStringLiteral("1MB"));
        page.SlotScaniTunesUserDataFinished();
        QVERIFY(!timer->isActive());
    }

    void stopConfirmation_data() { addStopAnswers(); }
    void stopConfirmation() {
        QFETCH(int, answer);
        QFETCH(bool, stopped);
        CScaniTunesData page;
        page.show();
        page.InitScanView(1);
        QSignalSpy stop(&page, &CScaniTunesData::SignalStopScaniTunesUserData);
        BoxAnswerer answerer(static_cast<Answer>(answer));
        static_cast<QAbstractButton*>(child(&page, "pushButton_stop"))->click();
        QCOMPARE(answerer.opened, 1);
        QCOMPARE(answerer.text, QStringLiteral("If you stop, no data will be scanned. Are you sure you want to stop?"));
        QCOMPARE(stop.count(), stopped ? 1 : 0);
        QCOMPARE(child(&page, "pushButton_stop")->isHidden(), stopped);
        QCOMPARE(child(&page, "widgetProgressBar")->isHidden(), stopped);
        QCOMPARE(child(&page, "label_gif")->isHidden(), !stopped);
        QCOMPARE(text(&page, "label_scanTip"), stopped ? QStringLiteral("Cancelling, please wait...")
                                                       : QStringLiteral("Scanning iTunes, please wait..."));
        if (stopped) QCOMPARE(child<QLabel>(&page, "label_gif")->movie()->state(), QMovie::Running);
    }

    void stopBoxForgetsAnEarlierYes() {
        CScaniTunesData page;
        page.show();
        page.InitScanView(1);
        QSignalSpy stop(&page, &CScaniTunesData::SignalStopScaniTunesUserData);
        {
            BoxAnswerer yes(Answer::Yes);
            page.SlotStopScaniTunesUserData();
        }
        QCOMPARE(stop.count(), 1);

        // A new scan, and this time the box is closed without a button.
        page.InitScanView(1);
        QVERIFY(!child(&page, "pushButton_stop")->isHidden());
        QCOMPARE(text(&page, "label_scanTip"), QStringLiteral("Scanning iTunes, please wait..."));
        {
            BoxAnswerer closed(Answer::CloseWithoutButton);
            page.SlotStopScaniTunesUserData();
            QCOMPARE(closed.opened, 1);
        }
        QCOMPARE(stop.count(), 1);
        QVERIFY(!child(&page, "pushButton_stop")->isHidden());
        {
            BoxAnswerer no(Answer::No);
            page.SlotStopScaniTunesUserData();
        }
        QCOMPARE(stop.count(), 1);
        {
            BoxAnswerer yes(Answer::Yes);
            page.SlotStopScaniTunesUserData();
        }
        QCOMPARE(stop.count(), 2);
    }

    void stoppedScanEnded() {
        CScaniTunesData page;
        page.show();
        page.InitScanView(0);
        page.StartLoadTimer();
        QSignalSpy finished(&page, &CScaniTunesData::SignalStopScaniTunesUserDataFinished);
        page.SlotStopScaniTunesUserDataFinished();
        QCOMPARE(finished.count(), 1);
        QVERIFY(!page.findChild<QTimer*>()->isActive());
        QCOMPARE(child<QLabel>(&page, "label_gif")->movie()->state(), QMovie::NotRunning);
    }

    void backConfirmation_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("back");
        QTest::newRow("yes") << int(Answer::Yes) << 1;
        QTest::newRow("no") << int(Answer::No) << 0;
        QTest::newRow("closed") << int(Answer::CloseWithoutButton) << 0;
    }
    void backConfirmation() {
        QFETCH(int, answer);
        QFETCH(int, back);
        CScaniTunesData page;
        page.show();
        finishFullScan(page);
        QSignalSpy home(&page, &CScaniTunesData::SignalBackHome);
        BoxAnswerer answerer(static_cast<Answer>(answer));
        static_cast<QAbstractButton*>(child(&page, "pushButton_Back"))->click();
        QCOMPARE(answerer.opened, 1);
        QCOMPARE(
            answerer.text,
            QStringLiteral("If you go back, the scanning result won't be saved. Are you sure you want to go back?"));
        QCOMPARE(home.count(), back);
        // The scan result is left as it was.
        QCOMPARE(subTypeRequest(page), (std::vector<int>{1, 2, 14, 16, 18}));
    }

    void categoryClicksOpenTheirTable() {
        CScaniTunesData page;
        for (int row : {3, 1, 2, 0}) {
            page.SlotCellClicked(row, 0);
            QCOMPARE(shownDetailTable(&page), row + 1);
        }
        page.SlotCellClicked(7, 0);
        QCOMPARE(shownDetailTable(&page), 1);
        emit table(&page, 0)->cellClicked(2, 0);
        QCOMPARE(shownDetailTable(&page), 3);
    }
};

QTEST_MAIN(ScaniTunesDataTest)
#include "tst_ScaniTunesData.moc"
