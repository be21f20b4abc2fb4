// The detection progress page: the pacing of its bar, the progress reports it
// takes or drops, and the two end signals.
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "repair/CheckiTunesExceptionProcess.h"
#include "RepairTestSupport.h"

using repairtest::barText;
using repairtest::barValue;

class CheckiTunesExceptionProcessTest : public QObject {
    Q_OBJECT

private:
    static QTimer* pacingTimer(QWidget* page) { return page->findChild<QTimer*>(QStringLiteral("checkPacingTimer")); }
    static void tick(CCheckiTunesExceptionProcess& page, int count) {
        for (int i = 0; i < count; ++i) page.SlotTimerUpdateProgressBar();
    }

private slots:
    void initTestCase() { repairtest::initStyle(); }

    void pacing_data() {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("shown");
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("50") << 50 << 50;
        QTest::newRow("51 (odd, past 50)") << 51 << 50;
        QTest::newRow("52") << 52 << 51;
        QTest::newRow("80") << 80 << 65;
        QTest::newRow("90") << 90 << 67;
        QTest::newRow("119") << 119 << 67;
        QTest::newRow("120") << 120 << 68;
        QTest::newRow("1049") << 1049 << 98;
        QTest::newRow("1050") << 1050 << 99;
        QTest::newRow("2000 (stays at 99)") << 2000 << 99;
    }

    // Without reports the bar climbs ever more slowly and stops at 99.
    void pacing() {
        QFETCH(int, ticks);
        QFETCH(int, shown);
        CCheckiTunesExceptionProcess page;
        page.InitCheckExceptionView();
        QVERIFY(pacingTimer(&page)->isActive());
        QCOMPARE(pacingTimer(&page)->interval(), 500);
        tick(page, ticks);
        QCOMPARE(barValue(&page), shown);
        QCOMPARE(barText(&page), QStringLiteral("%1%").arg(shown));
    }

    void reports_data() {
        QTest::addColumn<int>("ticksBefore");
        QTest::addColumn<int>("report");
        QTest::addColumn<int>("shownAfterReport");
        QTest::addColumn<int>("ticksAfter");
        QTest::addColumn<int>("shownAtEnd");

        // 60 ticks show 55 (from tick 51 only even ticks advance).
        QTest::newRow("0 ignored") << 60 << 0 << 55 << 0 << 55;
        QTest::newRow("100 ignored") << 60 << 100 << 55 << 0 << 55;
        QTest::newRow("negative ignored") << 60 << -3 << 55 << 0 << 55;
        QTest::newRow("lower ignored") << 60 << 40 << 55 << 0 << 55;
        // Taking a report moves the pacing to that tick: after 55 the next
        // tick is 56 (even, advances); without the reset it would be 61.
        QTest::newRow("equal taken, pacing from tick 55") << 60 << 55 << 55 << 1 << 56;
        QTest::newRow("higher taken") << 10 << 30 << 30 << 5 << 35;
        // A report of 60 puts the pacing in the band of even ticks at once.
        QTest::newRow("60: only even ticks advance") << 0 << 60 << 60 << 1 << 60;
        QTest::newRow("60 then two ticks") << 0 << 60 << 60 << 2 << 61;
        QTest::newRow("99 taken") << 0 << 99 << 99 << 30 << 99;
        // 1080 ticks carry the hidden value to 100: a report of 99 is lower.
        QTest::newRow("99 after the hidden value passed it") << 1080 << 99 << 99 << 0 << 99;
    }

    void reports() {
        QFETCH(int, ticksBefore);
        QFETCH(int, report);
        QFETCH(int, shownAfterReport);
        QFETCH(int, ticksAfter);
        QFETCH(int, shownAtEnd);

        CCheckiTunesExceptionProcess page;
        page.InitCheckExceptionView();
        tick(page, ticksBefore);
        page.SlotUpdateProgressBar(report);
        QCOMPARE(barValue(&page), shownAfterReport);
        tick(page, ticksAfter);
        QCOMPARE(barValue(&page), shownAtEnd);
    }

    // A hidden value past 99 is not undone by a later report of 99: the next
    // ticks keep the bar at 99 and further reports are dropped.
    void hiddenValueStaysAhead() {
        CCheckiTunesExceptionProcess page;
        page.InitCheckExceptionView();
        tick(page, 1080);
        page.SlotUpdateProgressBar(99);
        page.SlotUpdateProgressBar(98);
        tick(page, 600);
        QCOMPARE(barValue(&page), 99);
    }

    void finish_data() {
        QTest::addColumn<bool>("problemsFound");
        QTest::newRow("problems found") << true;
        QTest::newRow("no problems") << false;
    }

    // Either end stops the pacing, leaves the bar where it stood and sends
    // exactly one of the two signals.
    void finish() {
        QFETCH(bool, problemsFound);
        CCheckiTunesExceptionProcess page;
        QSignalSpy exception(&page, &CCheckiTunesExceptionProcess::SignalCheckException);
        QSignalSpy success(&page, &CCheckiTunesExceptionProcess::SignalCheckSuccess);
        page.InitCheckExceptionView();
        tick(page, 40);

        page.SlotCheckExceptionFinished(problemsFound);
        QCOMPARE(exception.count(), problemsFound ? 1 : 0);
        QCOMPARE(success.count(), problemsFound ? 0 : 1);
        QVERIFY(!pacingTimer(&page)->isActive());
        QCOMPARE(barValue(&page), 40);
    }

    // Finishing a page that never ran is harmless.
    void finishBeforeStart() {
        CCheckiTunesExceptionProcess page;
        QSignalSpy success(&page, &CCheckiTunesExceptionProcess::SignalCheckSuccess);
        page.SlotCheckExceptionFinished(false);
        QCOMPARE(success.count(), 1);
        QVERIFY(!pacingTimer(&page)->isActive());
    }

    // A restart after a finished run starts again from 0 and tick 0.
    void restart() {
        CCheckiTunesExceptionProcess page;
        page.InitCheckExceptionView();
        tick(page, 70);
        page.SlotUpdateProgressBar(80);
        page.SlotCheckExceptionFinished(true);

        page.InitCheckExceptionView();
        QCOMPARE(barValue(&page), 0);
        QCOMPARE(barText(&page), QStringLiteral("0%"));
        QVERIFY(pacingTimer(&page)->isActive());
        tick(page, 50);
        QCOMPARE(barValue(&page), 50);
    }
};

QTEST_MAIN(CheckiTunesExceptionProcessTest)
#include "tst_CheckiTunesExceptionProcess.moc"
