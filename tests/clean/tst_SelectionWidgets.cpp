// The row widgets of the scan result page: category row, subtype and backup
// row, size cell and the select-all box: their texts, their check states and
// what their clicks report.
#include <QSignalSpy>
#include <QtTest>

#include "clean/CheckBoxWidget.h"
#include "CleanTestSupport.h"
#include "clean/FileSize.h"
#include "clean/SubUserDataCheckBox.h"
#include "clean/TableCheckBox.h"

using namespace cleantest;

class SelectionWidgetsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initEnvironment(); }

    void categoryRowText_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("checked");
        QTest::newRow("media, nothing") << 1 << qint64(0) << "iTunes Media Files (0MB)" << false;
        QTest::newRow("media, 3 GiB") << 1 << 3 * kGiB << "iTunes Media Files (3.00GB)" << true;
        QTest::newRow("backups, 700 MiB") << 2 << 700 * kMiB << "iOS Backups (700MB)" << true;
        QTest::newRow("updates, negative") << 3 << qint64(-5) << "Software Update Files (0MB)" << false;
        QTest::newRow("other, 10 bytes") << 4 << qint64(10) << "Other Data (10B)" << true;
    }
    void categoryRowText() {
        QFETCH(int, type);
        QFETCH(qint64, size);
        QFETCH(QString, expected);
        QFETCH(bool, checked);
        CTableCheckBox row;
        row.SetUserDataType(type);
        row.SetFileSize(size);
        QCOMPARE(text(&row, "label_text"), expected);
        QCOMPARE(row.GetCheckState(), checked ? int(Qt::Checked) : int(Qt::Unchecked));
        QCOMPARE(row.GetFileSize(), size > 0 ? size : 0);
        QVERIFY(!child<QLabel>(&row, "label_image")->pixmap(Qt::ReturnByValue).isNull());
    }

    void categoryRowBeforeAnySize() {
        CTableCheckBox row;
        row.SetUserDataType(2);
        QCOMPARE(text(&row, "label_text"), QStringLiteral("iOS Backups (0MB)"));
        // A new row cannot be clicked until the page enables it.
        QVERIFY(!boxOf(&row)->isEnabled());
        QSignalSpy clicked(&row, &CTableCheckBox::SignalCheckBoxClicked);
        boxOf(&row)->click();
        QCOMPARE(clicked.count(), 0);

        // An unknown category is stored and shows nothing.
        CTableCheckBox unknown;
        unknown.SetUserDataType(9);
        QCOMPARE(unknown.GetUserDataType(), 9);
        QCOMPARE(text(&unknown, "label_text"), QString());
    }

    void categoryClickNeverLeavesPartial_data() {
        QTest::addColumn<int>("before");
        QTest::addColumn<bool>("signalled");
        QTest::newRow("partially checked") << int(Qt::PartiallyChecked) << true;
        QTest::newRow("checked") << int(Qt::Checked) << false;
        // Once a box has been partial it is tri-state: a click from unchecked
        // would step to partial; the row makes it checked.
        QTest::newRow("unchecked after partial") << int(Qt::Unchecked) << true;
    }
    void categoryClickNeverLeavesPartial() {
        QFETCH(int, before);
        QFETCH(bool, signalled);
        CTableCheckBox row;
        row.SetUserDataType(1);
        row.SetFileSize(5 * kMiB);
        row.SetCheckBoxEnabled(true);
        row.SetCheckState(Qt::PartiallyChecked);
        row.SetCheckState(before);
        QSignalSpy clicked(&row, &CTableCheckBox::SignalCheckBoxClicked);
        boxOf(&row)->click();
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).toInt(), 1);
        QCOMPARE(clicked.at(0).at(1).toBool(), signalled);
        QCOMPARE(clicked.at(0).at(2).toLongLong(), 5 * kMiB);
        QCOMPARE(row.GetCheckState(), signalled ? int(Qt::Checked) : int(Qt::Unchecked));
    }

    void subTypeRowNames_data() {
        QTest::addColumn<int>("subType");
        QTest::addColumn<QString>("name");
        QTest::newRow("1") << 1 << "Music";
        QTest::newRow("7") << 7 << "iTunes U";
        QTest::newRow("8") << 8 << "Voice Memo";
        QTest::newRow("11") << 11 << "Downloads";
        QTest::newRow("13") << 13 << "iTunes Update Files";
        QTest::newRow("14") << 14 << "iOS Update Files";
        QTest::newRow("15") << 15 << "Mobile Apps";
        QTest::newRow("19") << 19 << "Other Junk Files";
    }
    void subTypeRowNames() {
        QFETCH(int, subType);
        QFETCH(QString, name);
        CSubUserDataCheckBox row;
        row.SetSubUserDataType(subType);
        QCOMPARE(text(&row, "label_text"), name);
        // Every icon is in the skin, the two with a blank in their name too.
        QVERIFY(!child<QLabel>(&row, "label_image")->pixmap(Qt::ReturnByValue).isNull());
        QVERIFY(!boxOf(&row)->isEnabled());
        QVERIFY(!row.IsChecked());
    }

    void rowSignalsItsKey_data() {
        QTest::addColumn<int>("subType");
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("signalled");
        QTest::newRow("subtype row: its subtype") << 4 << 0 << 4;
        QTest::newRow("backup row: its backup id") << 12 << 31 << 31;
        QTest::newRow("backup row with id 0") << 12 << 0 << 0;
    }
    void rowSignalsItsKey() {
        QFETCH(int, subType);
        QFETCH(int, id);
        QFETCH(int, signalled);
        CSubUserDataCheckBox row;
        row.SetSubUserDataType(subType);
        if (subType == 12) row.SetId(id, QStringLiteral("Anna's iPhone"));
        row.SetFileSize(42 * kMiB);
        row.SetCheckBoxEnabled(true);
        QVERIFY(row.IsChecked());

        QSignalSpy clicked(&row, &CSubUserDataCheckBox::SignalCheckBoxClicked);
        boxOf(&row)->click();
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).toInt(), signalled);
        QCOMPARE(clicked.at(0).at(1).toBool(), false);
        QCOMPARE(clicked.at(0).at(2).toLongLong(), 42 * kMiB);
        // The box keeps the state the click gave it.
        QVERIFY(!row.IsChecked());
    }

    void backupRow() {
        CSubUserDataCheckBox row;
        row.SetSubUserDataType(12);
        QVERIFY(child<QLabel>(&row, "label_image")->isHidden());
        row.SetId(5, QStringLiteral("iPad"));
        QCOMPARE(row.GetId(), 5);
        QCOMPARE(text(&row, "label_text"), QStringLiteral("iPad"));
        // An empty name keeps what is shown.
        row.SetId(6, QString());
        QCOMPARE(row.GetId(), 6);
        QCOMPARE(text(&row, "label_text"), QStringLiteral("iPad"));
    }

    void rowSizes() {
        CSubUserDataCheckBox row;
        row.SetSubUserDataType(2);
        row.SetFileSize(3 * kMiB);
        QCOMPARE(row.GetFileSize(), 3 * kMiB);
        QVERIFY(row.IsChecked());
        row.SetFileSize(-1);
        QCOMPARE(row.GetFileSize(), qint64(0));
        QVERIFY(!row.IsChecked());
    }

    void sizeCell_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0") << qint64(0) << "0MB";
        QTest::newRow("negative") << qint64(-1024) << "0MB";
        QTest::newRow("512 bytes") << qint64(512) << "512B";
        QTest::newRow("5 MiB") << 5 * kMiB << "5MB";
        QTest::newRow("1.5 GiB") << 3 * kGiB / 2 << "1.50GB";
    }
    void sizeCell() {
        QFETCH(qint64, size);
        QFETCH(QString, expected);
        CFileSize cell;
        QCOMPARE(text(&cell, "label_fileSize"), QStringLiteral("0MB"));
        cell.SetSubUserDataType(12);
        cell.SetFileSize(size);
        QCOMPARE(cell.GetSubUserDataType(), 12);
        QCOMPARE(text(&cell, "label_fileSize"), expected);
    }

    void selectAllBox() {
        CCheckBoxWidget all;
        QCOMPARE(text(&all, "label"), QStringLiteral("All iTunes Data"));
        QSignalSpy clicked(&all, &CCheckBoxWidget::SignalClickedCheckBox);
        boxOf(&all)->click();
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).toBool(), true);

        all.SetCheckState(Qt::PartiallyChecked);
        QCOMPARE(boxOf(&all)->checkState(), Qt::PartiallyChecked);
        // SetChecked leaves no partial state behind.
        all.SetChecked(true);
        QCOMPARE(boxOf(&all)->checkState(), Qt::Checked);
        all.SetChecked(false);
        QCOMPARE(boxOf(&all)->checkState(), Qt::Unchecked);
    }

    void checkBoxImagesComeFromTheSkin() {
        CSubUserDataCheckBox row;
        const QString sheet = boxOf(&row)->styleSheet();
        const QString skin = QStringLiteral(ZN_APP_DIR) + QStringLiteral("/skin");
        for (const char* image : {"/checkbox/unchecked.png", "/checkbox/uncheckedHover.png", "/checkbox/checked.png",
                                  "/checkbox/checkedHover.png", "/checkbox/partiallyChecked.png",
                                  "/checkbox/partiallyCheckedHover.png", "/checkbox/disable.png"}) {
            QVERIFY2(sheet.contains(QStringLiteral("url(%1%2)").arg(skin, QLatin1String(image))), image);
            QVERIFY2(QFileInfo::exists(skin + QLatin1String(image)), image);
        }
    }
};

QTEST_MAIN(SelectionWidgetsTest)
#include "tst_SelectionWidgets.moc"
