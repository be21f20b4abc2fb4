// The progress page: its views, the uninstall and reinstall pacing (ceilings
// per step, the rush to aim - 2, the shrinking interval of the component
// installs), the fix timer, the download text and ratio, and the stop question.
#include <QLabel>
#include <QMovie>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "types/CommonTypes.h"
#include "repair/FixiTunesProcess.h"
#include "RepairTestSupport.h"
#include "toolkit/ZnStyleButton.h"

using repairtest::barValue;

class FixiTunesProcessTest : public QObject {
    Q_OBJECT

private:
    template <typename T = QWidget>
    static T* child(QWidget* page, const char* name) {
        T* w = page->findChild<T*>(QLatin1String(name));
        if (!w) qFatal("missing child %s", name);
        return w;
    }
    static QTimer* timer(QWidget* page, const char* name) { return child<QTimer>(page, name); }

    // Lets the quick timer rush until it hands back, then the step timer creep
    // until the bar stops at the ceiling (each tick called directly).
    static void settle(CFixiTunesProcess& page) {
        QTimer* quick = timer(&page, "quickTimer");
        for (int i = 0; quick->isActive() && i < 200; ++i) page.SlotOneKeyQuickToAim();
        int last = barValue(&page);
        for (int i = 0; i < 200; ++i) {
            page.SlotOneKeyRepairProcessBar();
            const int now = barValue(&page);
            if (now == last) break;
            last = now;
        }
    }
    static void stepTicks(CFixiTunesProcess& page, int count) {
        for (int i = 0; i < count; ++i) page.SlotOneKeyRepairProcessBar();
    }
    static void rush(CFixiTunesProcess& page) {
        QTimer* quick = timer(&page, "quickTimer");
        for (int i = 0; quick->isActive() && i < 200; ++i) page.SlotOneKeyQuickToAim();
        QVERIFY(!quick->isActive());
    }

private slots:
    void initTestCase() { repairtest::initStyle(); }

    void views_data() {
        QTest::addColumn<int>("view");
        QTest::addColumn<QString>("movie");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("stopShown");
        QTest::addColumn<QString>("pacingTimer");
        QTest::addColumn<int>("interval");

        QTest::newRow("download driver") << 0 << "/gif/downloading_driver.gif"
                                         << "Repairing iTunes..."
                                         << "Downloading the repair driver, please keep your internet stable."
                                         << "" << false << "" << 0;
        QTest::newRow("complete repair") << 1 << "/gif/installing_driver.gif"
                                         << "Repairing iTunes..."
                                         << "Installing the repair driver, please wait."
                                         << "Installing iTunes ..." << false << "stepTimer" << 5000;
        QTest::newRow("install driver, 2 failed") << 2 << "/gif/installing_driver.gif"
                                                  << "Repairing iTunes..."
                                                  << "Installing the repair driver, please wait."
                                                  << "Installing iTunes ..." << false << "fixTimer" << 1000;
        QTest::newRow("uninstall") << 3 << "/gif/uninstalling.gif"
                                   << "Uninstalling iTunes..."
                                   << "It will take some time, please wait."
                                   << "Uninstalling iTunes ..." << false << "stepTimer" << 3000;
        // The deletion view keeps the detail line of the uninstall before it.
        QTest::newRow("delete user data") << 4 << "/gif/deleting_itunes_data.gif"
                                          << "Deleting iTunes data..."
                                          << "It will take some time, please wait."
                                          << "Uninstalling iTunes ..." << true << "stepTimer" << 1000;
    }

    void views() {
        QFETCH(int, view);
        QFETCH(QString, movie);
        QFETCH(QString, title);
        QFETCH(QString, description);
        QFETCH(QString, detail);
        QFETCH(bool, stopShown);
        QFETCH(QString, pacingTimer);
        QFETCH(int, interval);

        CFixiTunesProcess page;
        page.SlotDownloadiTunesProcess(30 * 1024, 100 * 1024);  // bar at 30 before the view
        switch (view) {
        case 0: page.InitDownloadDriverView(); break;
        case 1: page.InitCompleteRepairView(); break;
        case 2: page.InitInstallDriverView(2); break;
        case 3: page.InitUninstallView(); break;
        case 4:
            page.InitUninstallView();
            page.SlotInitDeleteUserDataView();
            break;
        }
        QVERIFY(child<QLabel>(&page, "label_FixiTunesProcess")->movie());
        QVERIFY(child<QLabel>(&page, "label_FixiTunesProcess")->movie()->fileName().endsWith(movie));
        QCOMPARE(child<QLabel>(&page, "label_FixiTunesProcessTitle")->text(), title);
        QCOMPARE(child<QLabel>(&page, "label_FixiTunesProcessText")->text(), description);
        QCOMPARE(child<QLabel>(&page, "label_FixiTunesProcessDetail")->text(), detail);
        QVERIFY(!child(&page, "label_FixiTunesProcessDetail")->isHidden());
        QVERIFY(!child(&page, "widgetProgressBar")->isHidden());
        QCOMPARE(barValue(&page), 0);
        QCOMPARE(!child(&page, "pushButton_Stop")->isHidden(), stopShown);
        QVERIFY(child(&page, "labelCancell")->isHidden());
        QVERIFY(child(&page, "labelCancellGif")->isHidden());
        for (const char* name : {"fixTimer", "stepTimer", "quickTimer"}) {
            const bool expected = pacingTimer == QLatin1String(name);
            QCOMPARE(timer(&page, name)->isActive(), expected);
            if (expected) QCOMPARE(timer(&page, name)->interval(), interval);
        }
    }

    // A new main movie replaces the old one, which is deleted.
    void viewReplacesMovie() {
        CFixiTunesProcess page;
        page.InitDownloadDriverView();
        QPointer<QMovie> first = child<QLabel>(&page, "label_FixiTunesProcess")->movie();
        page.InitInstallDriverView(1);
        QVERIFY(first.isNull());
        QVERIFY(child<QLabel>(&page, "label_FixiTunesProcess")->movie());
    }

    // The cancelling view swaps bar and Stop for the cancelling line; a second
    // call reuses the same animation.
    void stopView() {
        CFixiTunesProcess page;
        page.InitUninstallView();
        page.SlotInitDeleteUserDataView();
        page.InitDeleteUserDataStopView();
        QMovie* stopMovie = child<QLabel>(&page, "labelCancellGif")->movie();
        QVERIFY(stopMovie);
        QVERIFY(stopMovie->fileName().endsWith(QStringLiteral("/gif/stopDelUserData450.gif")));
        QCOMPARE(child<QLabel>(&page, "labelCancell")->text(), QStringLiteral("Cancelling, please wait ..."));
        QVERIFY(!child(&page, "labelCancell")->isHidden());
        QVERIFY(!child(&page, "labelCancellGif")->isHidden());
        QVERIFY(child(&page, "widgetProgressBar")->isHidden());
        QVERIFY(child(&page, "pushButton_Stop")->isHidden());
        QVERIFY(child(&page, "label_FixiTunesProcessDetail")->isHidden());
        QCOMPARE(child<QLabel>(&page, "label_FixiTunesProcessTitle")->text(), QStringLiteral(" "));
        QCOMPARE(child<QWidget>(&page, "frameDesc")->minimumHeight(), 43);
        QCOMPARE(child<QWidget>(&page, "frameCancel")->minimumHeight(), 35);

        page.InitDeleteUserDataStopView();
        QCOMPARE(child<QLabel>(&page, "labelCancellGif")->movie(), stopMovie);

        // The next run's view brings bar and detail line back.
        page.InitUninstallView();
        QVERIFY(!child(&page, "widgetProgressBar")->isHidden());
        QVERIFY(!child(&page, "label_FixiTunesProcessDetail")->isHidden());
        QVERIFY(child(&page, "labelCancell")->isHidden());
        QCOMPARE(child<QWidget>(&page, "frameDesc")->minimumHeight(), 54);
    }

    void stepCeilings_data() {
        QTest::addColumn<QList<int>>("steps");
        QTest::addColumn<QList<int>>("ceilings");
        QTest::newRow("uninstall (0)") << QList<int>{0, 0, 0, 0, 0, 0, 0} << QList<int>{45, 52, 68, 88, 95, 99, 99};
        QTest::newRow("delete data (1)") << QList<int>{1, 1, 1, 1, 1, 1, 1} << QList<int>{20, 36, 55, 72, 85, 99, 99};
        QTest::newRow("install iTunes (2), a seventh changes nothing")
            << QList<int>{2, 2, 2, 2, 2, 2, 2} << QList<int>{25, 32, 41, 55, 65, 70, 70};
        QTest::newRow("steps 0-2 share one count") << QList<int>{0, 0, 1} << QList<int>{45, 52, 55};
        QTest::newRow("components on base 70") << QList<int>{2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3}
                                               << QList<int>{25, 32, 41, 55, 65, 70, 79, 86, 91, 94, 97, 99, 99};
        QTest::newRow("components on base 25")
            << QList<int>{2, 3, 3, 3, 3, 3, 3} << QList<int>{25, 47, 64, 76, 83, 90, 97};
        QTest::newRow("done raises the ceiling to 99") << QList<int>{0, 4} << QList<int>{45, 99};
        QTest::newRow("unknown step only sets the text") << QList<int>{0, 7, 0} << QList<int>{45, 45, 52};
    }

    // After each update the bar creeps to the step's ceiling and stops there.
    void stepCeilings() {
        QFETCH(QList<int>, steps);
        QFETCH(QList<int>, ceilings);
        CFixiTunesProcess page;
        page.InitCompleteRepairView();
        stepTicks(page, 10);
        QCOMPARE(barValue(&page), 3);  // the reset's ceiling

        for (int i = 0; i < steps.size(); ++i) {
            const QString text = QStringLiteral("update %1").arg(i);
            page.SlotUpdateData(text, steps.at(i));
            settle(page);
            QVERIFY2(barValue(&page) == ceilings.at(i),
                     qPrintable(QStringLiteral("update %1: bar %2").arg(i).arg(barValue(&page))));
            QCOMPARE(child<QLabel>(&page, "label_FixiTunesProcessDetail")->text(), text);
        }
    }

    // An empty text keeps the detail line.
    void emptyTextKeepsDetail() {
        CFixiTunesProcess page;
        page.InitUninstallView();
        page.SlotUpdateData(QStringLiteral("Uninstalling Bonjour ..."), kUpdateDataStep_UninstallComponent);
        page.SlotUpdateData(QString(), kUpdateDataStep_Done);
        QCOMPARE(child<QLabel>(&page, "label_FixiTunesProcessDetail")->text(),
                 QStringLiteral("Uninstalling Bonjour ..."));
    }

    void secondUninstallUpdate_data() {
        QTest::addColumn<int>("creep");  // step ticks between the first and the second update
        QTest::addColumn<bool>("rushes");
        QTest::addColumn<int>("shownAfter");
        QTest::newRow("at 10: rush to 43") << 10 << true << 43;
        QTest::newRow("at 40: rush to 43") << 40 << true << 43;
        QTest::newRow("at 41: aim only") << 41 << false << 41;
    }

    // The first step-0 update only raises the ceiling to 45; the second rushes
    // to two below that aim unless the bar is already within 5 of it.
    void secondUninstallUpdate() {
        QFETCH(int, creep);
        QFETCH(bool, rushes);
        QFETCH(int, shownAfter);
        CFixiTunesProcess page;
        page.InitUninstallView();
        page.SlotUpdateData(QStringLiteral("Uninstalling iTunes ..."), kUpdateDataStep_UninstallComponent);
        QVERIFY(!timer(&page, "quickTimer")->isActive());
        stepTicks(page, creep);
        QCOMPARE(barValue(&page), creep);

        page.SlotUpdateData(QStringLiteral("Uninstalling Bonjour ..."), kUpdateDataStep_UninstallComponent);
        QCOMPARE(timer(&page, "quickTimer")->isActive(), rushes);
        QCOMPARE(timer(&page, "stepTimer")->isActive(), !rushes);
        if (rushes) {
            QCOMPARE(timer(&page, "quickTimer")->interval(), 200);
            rush(page);
        }
        QCOMPARE(barValue(&page), shownAfter);
        QVERIFY(timer(&page, "stepTimer")->isActive());
        QCOMPARE(timer(&page, "stepTimer")->interval(), 3000);
        settle(page);
        QCOMPARE(barValue(&page), 52);
    }

    // A reinstall with one iTunes phase report (base 25), then component
    // installs and the end: each report rushes to two below the previous
    // ceiling; every component install shortens the step interval by a third.
    void reinstallScript() {
        struct Row {
            int step;
            int quickInterval;  // 0: no rush
            int shownAfterRush;
            int stepInterval;  // of the step timer once the rush handed back
        };
        const Row script[] = {
            {kUpdateDataStep_InstalliTunes, 0, 0, 5000},        // ceiling 25, no pacing
            {kUpdateDataStep_InstallComponent, 200, 23, 3333},  // aim 25, ceiling 47
            {kUpdateDataStep_InstallComponent, 200, 45, 2222},  // aim 47, ceiling 64
            {kUpdateDataStep_InstallComponent, 200, 62, 1481},  // aim 64, ceiling 76
            {kUpdateDataStep_InstallComponent, 200, 74, 987},   // aim 76, ceiling 83
            {kUpdateDataStep_InstallComponent, 200, 81, 658},   // aim 83, ceiling 90
            {kUpdateDataStep_InstallComponent, 200, 88, 438},   // aim 90, ceiling 97
            {kUpdateDataStep_InstallComponent, 0, 88, 438},     // seventh: interval 292 for the next start
            {kUpdateDataStep_Done, 50, 95, 292},                // aim 97, ceiling 99
        };

        CFixiTunesProcess page;
        page.InitCompleteRepairView();
        QCOMPARE(timer(&page, "stepTimer")->interval(), 5000);
        int row = 0;
        for (const Row& r : script) {
            const QByteArray where = QByteArray("row ") + QByteArray::number(row++);
            page.SlotUpdateData(QString(), r.step);
            QVERIFY2(timer(&page, "quickTimer")->isActive() == (r.quickInterval != 0), where);
            if (r.quickInterval) {
                QVERIFY2(timer(&page, "quickTimer")->interval() == r.quickInterval, where);
                QVERIFY2(!timer(&page, "stepTimer")->isActive(), where);
                rush(page);
            }
            QVERIFY2(barValue(&page) == r.shownAfterRush, where);
            QVERIFY2(timer(&page, "stepTimer")->isActive(), where);
            QVERIFY2(timer(&page, "stepTimer")->interval() == r.stepInterval, where);
        }
        stepTicks(page, 10);
        QCOMPARE(barValue(&page), 99);
        stepTicks(page, 10);
        QCOMPARE(barValue(&page), 99);
    }

    // A pacer call whose aim is less than 5 above the value only records the
    // aim; the rush then stops two below it.
    void pacerAim() {
        CFixiTunesProcess page;
        page.InitUninstallView();
        page.SlotUpdateData(QString(), kUpdateDataStep_UninstallComponent);  // ceiling 45
        stepTicks(page, 20);
        page.StartQuickToAim(24, 200);
        QVERIFY(!timer(&page, "quickTimer")->isActive());
        page.StartQuickToAim(25, 100);
        QVERIFY(timer(&page, "quickTimer")->isActive());
        QCOMPARE(timer(&page, "quickTimer")->interval(), 100);
        rush(page);
        QCOMPARE(barValue(&page), 23);
        QCOMPARE(timer(&page, "stepTimer")->interval(), 3000);
    }

    void fixTimer_data() {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("shown");
        QTest::addColumn<bool>("running");
        QTest::newRow("50") << 50 << 50 << true;
        QTest::newRow("70") << 70 << 60 << true;
        QTest::newRow("90") << 90 << 64 << true;
        QTest::newRow("1139") << 1139 << 98 << true;
        QTest::newRow("1140 stops at 99") << 1140 << 99 << false;
        QTest::newRow("1500") << 1500 << 99 << false;
    }

    // During a component repair the bar creeps ever more slowly and the fix
    // timer stops itself at 99.
    void fixTimer() {
        QFETCH(int, ticks);
        QFETCH(int, shown);
        QFETCH(bool, running);
        CFixiTunesProcess page;
        page.InitInstallDriverView(3);
        QCOMPARE(timer(&page, "fixTimer")->interval(), 1500);
        for (int i = 0; i < ticks; ++i) page.SlotFixiTunesProcessBar();
        QCOMPARE(barValue(&page), shown);
        QCOMPARE(timer(&page, "fixTimer")->isActive(), running);
    }

    void fixTimerStartAndStop() {
        CFixiTunesProcess page;
        page.InitInstallDriverView(0);
        QVERIFY(!timer(&page, "fixTimer")->isActive());
        QCOMPARE(barValue(&page), 0);

        page.InitInstallDriverView(1);
        QVERIFY(timer(&page, "fixTimer")->isActive());
        QCOMPARE(timer(&page, "fixTimer")->interval(), 500);
        page.StopFixProcessTimer();
        QVERIFY(!timer(&page, "fixTimer")->isActive());
    }

    void productDetail_data() {
        QTest::addColumn<int>("product");
        QTest::addColumn<QString>("detail");
        QTest::newRow("1") << 1 << "Installing iTunes ...";
        QTest::newRow("3") << 3 << "Installing Apple Mobile Device Support ...";
        QTest::newRow("6") << 6 << "Installing Apple Application Support64 ...";
        QTest::newRow("unknown id") << 42 << "Installing unknown ...";
    }

    void productDetail() {
        QFETCH(int, product);
        QFETCH(QString, detail);
        CFixiTunesProcess page;
        page.InitInstallDriverView(1);
        page.SlotFixiTunesProcess(product);
        QCOMPARE(child<QLabel>(&page, "label_FixiTunesProcessDetail")->text(), detail);
    }

    void download_data() {
        QTest::addColumn<qlonglong>("received");
        QTest::addColumn<qlonglong>("total");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<int>("shown");  // the bar stood at 7 before

        const qlonglong MiB = 1024 * 1024;
        QTest::newRow("10 of 80 MiB") << 10 * MiB << 80 * MiB << "10MB /80MB" << 12;
        QTest::newRow("3 of 4 GiB") << 3072 * MiB << 4096 * MiB << "3072MB /4096MB" << 75;
        QTest::newRow("nothing yet") << qlonglong(0) << 80 * MiB << "0MB /80MB" << 0;
        QTest::newRow("under 1 KiB received") << qlonglong(1023) << qlonglong(4096) << "0MB /0MB" << 0;
        QTest::newRow("complete: bar kept") << 80 * MiB << 80 * MiB << "80MB /80MB" << 7;
        QTest::newRow("more than the total: bar kept") << 90 * MiB << 80 * MiB << "90MB /80MB" << 7;
        QTest::newRow("total under 1 KiB: bar kept") << qlonglong(500) << qlonglong(1000) << "0MB /0MB" << 7;
        QTest::newRow("total 0: bar kept") << qlonglong(0) << qlonglong(0) << "0MB /0MB" << 7;
        QTest::newRow("unknown total (-1): bar kept") << 2 * MiB << qlonglong(-1) << "2MB /0MB" << 7;
    }

    void download() {
        QFETCH(qlonglong, received);
        QFETCH(qlonglong, total);
        QFETCH(QString, detail);
        QFETCH(int, shown);
        CFixiTunesProcess page;
        page.InitDownloadDriverView();
        page.SlotDownloadiTunesProcess(7 * 1024, 100 * 1024);
        QCOMPARE(barValue(&page), 7);

        page.SlotDownloadiTunesProcess(received, total);
        QCOMPARE(child<QLabel>(&page, "label_FixiTunesProcessDetail")->text(), detail);
        QCOMPARE(barValue(&page), shown);
    }

    void stopQuestion_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("stops");
        QTest::newRow("Yes") << int(ZnMessageBoxButton::Yes) << 1;
        QTest::newRow("No") << int(ZnMessageBoxButton::No) << 0;
    }

    // Stop asks first; only Yes sends the stop request, and the page stays.
    void stopQuestion() {
        QFETCH(int, answer);
        QFETCH(int, stops);
        CFixiTunesProcess page;
        page.InitUninstallView();
        page.SlotInitDeleteUserDataView();
        QSignalSpy stop(&page, &CFixiTunesProcess::SignalDeleteUserDataStop);
        repairtest::answerNextBox(answer);
        child<ZnStyleButton>(&page, "pushButton_Stop")->click();
        QCOMPARE(stop.count(), stops);
        QVERIFY(!child(&page, "pushButton_Stop")->isHidden());
        QCOMPARE(child<QLabel>(&page, "label_FixiTunesProcessTitle")->text(),
                 QStringLiteral("Deleting iTunes data..."));
    }
};

QTEST_MAIN(FixiTunesProcessTest)
#include "tst_FixiTunesProcess.moc"
