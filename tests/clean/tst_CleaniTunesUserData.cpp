// The cleaning progress page: its progress reports, the stop confirmation,
// the cancel view and a clean after a cancelled one.
#include <QLayout>
#include <QMovie>
#include <QSignalSpy>
#include <QtTest>

#include "CleanTestSupport.h"
#include "clean/CleaniTunesUserData.h"

using namespace cleantest;

class CleaniTunesUserDataTest : public QObject {
    Q_OBJECT

private:
    static QLayout* tipLayout(QWidget* page) { return child<QLayout>(page, "verticalLayout_tip"); }

    static void verifyCleaningView(QWidget* page) {
        for (const char* shown :
             {"widgetProgressBar", "label_currentSize", "label_fraction", "label_totalSize", "pushButton_stop"})
            QVERIFY2(!child(page, shown)->isHidden(), shown);
        QVERIFY(child(page, "label_gif")->isHidden());
        QCOMPARE(text(page, "label_cleanTip"), QStringLiteral("Cleaning iTunes files, please wait..."));
        QCOMPARE(barValue(page), 0);
        QMovie* movie = child<QLabel>(page, "label_image")->movie();
        QVERIFY(movie);
        QCOMPARE(movie->fileName(), QStringLiteral(ZN_APP_DIR "/skin/gif/cleaniTunesUserData.gif"));
        QCOMPARE(movie->state(), QMovie::Running);
        QCOMPARE(tipLayout(page)->spacing(), 2);
    }

private slots:
    void initTestCase() { initEnvironment(); }

    void cleaningView() {
        CCleaniTunesUserData page;
        page.show();
        QVERIFY(child(&page, "label_gif")->isHidden());
        page.InitCleanView();
        verifyCleaningView(&page);
        QCOMPARE(text(&page, "label_currentSize"), QStringLiteral("0GB"));
        QCOMPARE(text(&page, "label_totalSize"), QStringLiteral("0GB"));
    }

    void progress_data() {
        QTest::addColumn<qlonglong>("total");
        QTest::addColumn<qlonglong>("current");
        QTest::addColumn<int>("bar");
        QTest::addColumn<QString>("totalText");
        QTest::addColumn<QString>("currentText");
        QTest::newRow("half of 1 GiB") << qlonglong(kGiB) << qlonglong(512 * kMiB) << 50 << "1.00GB"
                                       << "512MB";
        QTest::newRow("nothing yet") << qlonglong(kGiB) << qlonglong(0) << 0 << "1.00GB"
                                     << "0B";
        QTest::newRow("truncated") << qlonglong(3 * kKiB) << qlonglong(2 * kKiB) << 66 << "4KB"
                                   << "3KB";
        QTest::newRow("whole KiB first") << qlonglong(2047) << qlonglong(1023) << 0 << "2KB"
                                         << "1023B";
        QTest::newRow("almost done") << qlonglong(100 * kMiB) << qlonglong(100 * kMiB - 1) << 99 << "100MB"
                                     << "99MB";
        QTest::newRow("huge") << qlonglong(1) * 4000 * kGiB << qlonglong(1) * 1000 * kGiB << 25 << "4000.00GB"
                              << "1000.00GB";
        // A total below 1 KiB has no fraction: the sizes show, the bar stays.
        QTest::newRow("total below 1 KiB") << qlonglong(1000) << qlonglong(10) << 7 << "1000B"
                                           << "10B";
        // An unknown (negative) total: the bar stays.
        QTest::newRow("unknown total") << qlonglong(-1) << qlonglong(-4096) << 7 << "0B"
                                       << "0B";
        QTest::newRow("negative current") << qlonglong(kMiB) << qlonglong(-4096) << 7 << "1MB"
                                          << "0B";
    }
    void progress() {
        QFETCH(qlonglong, total);
        QFETCH(qlonglong, current);
        QFETCH(int, bar);
        QFETCH(QString, totalText);
        QFETCH(QString, currentText);
        CCleaniTunesUserData page;
        page.InitCleanView();
        // A value the bar shows before the report, so that "stays" can be told apart.
        page.SlotCleaniTunesUserDataProcess(100 * kKiB, 7 * kKiB);
        QCOMPARE(barValue(&page), 7);
        page.SlotCleaniTunesUserDataProcess(total, current);
        QCOMPARE(barValue(&page), bar);
        QCOMPARE(text(&page, "label_totalSize"), totalText);
        QCOMPARE(text(&page, "label_currentSize"), currentText);
    }

    void reportAtOrBeyondTheTotalChangesNothing_data() {
        QTest::addColumn<qlonglong>("total");
        QTest::addColumn<qlonglong>("current");
        QTest::newRow("equal") << qlonglong(kGiB) << qlonglong(kGiB);
        QTest::newRow("beyond") << qlonglong(kGiB) << qlonglong(2 * kGiB);
        QTest::newRow("both 0") << qlonglong(0) << qlonglong(0);
    }
    void reportAtOrBeyondTheTotalChangesNothing() {
        QFETCH(qlonglong, total);
        QFETCH(qlonglong, current);
        CCleaniTunesUserData page;
        page.InitCleanView();
        page.SlotCleaniTunesUserDataProcess(4 * kMiB, kMiB);
        page.SlotCleaniTunesUserDataProcess(total, current);
        QCOMPARE(barValue(&page), 25);
        QCOMPARE(text(&page, "label_totalSize"), QStringLiteral("4MB"));
        QCOMPARE(text(&page, "label_currentSize"), QStringLiteral("1MB"));
    }

    void stopConfirmation_data() { addStopAnswers(); }
    void stopConfirmation() {
        QFETCH(int, answer);
        QFETCH(bool, stopped);
        CCleaniTunesUserData page;
        page.show();
        page.InitCleanView();
        page.SlotCleaniTunesUserDataProcess(4 * kMiB, kMiB);
        QSignalSpy stop(&page, &CCleaniTunesUserData::SignalStopCleaniTunesUserData);
        BoxAnswerer answerer(static_cast<Answer>(answer));
        static_cast<QAbstractButton*>(child(&page, "pushButton_stop"))->click();
        QCOMPARE(answerer.opened, 1);
        QCOMPARE(answerer.text,
                 QStringLiteral("If you stop, some data won't be cleaned. Are you sure you want to stop?"));
        QCOMPARE(stop.count(), stopped ? 1 : 0);
        if (!stopped) {
            verifyCleaningViewAfterProgress(&page);
            return;
        }
        // The cancel view.
        for (const char* hidden :
             {"widgetProgressBar", "label_currentSize", "label_fraction", "label_totalSize", "pushButton_stop"})
            QVERIFY2(child(&page, hidden)->isHidden(), hidden);
        auto* gif = child<QLabel>(&page, "label_gif");
        QVERIFY(!gif->isHidden());
        QCOMPARE(gif->movie()->fileName(), QStringLiteral(ZN_APP_DIR "/skin/gif/stopClean500.gif"));
        QCOMPARE(gif->movie()->state(), QMovie::Running);
        auto* image = child<QLabel>(&page, "label_image");
        QVERIFY(!image->movie());
        QVERIFY(!image->pixmap(Qt::ReturnByValue).isNull());
        QCOMPARE(text(&page, "label_cleanTip"), QStringLiteral("Cancelling, please wait..."));
        QCOMPARE(tipLayout(&page)->spacing(), 16);
    }

    void stopBoxForgetsAnEarlierYes() {
        CCleaniTunesUserData page;
        page.show();
        page.InitCleanView();
        QSignalSpy stop(&page, &CCleaniTunesUserData::SignalStopCleaniTunesUserData);
        {
            BoxAnswerer yes(Answer::Yes);
            page.SlotStopCleaniTunesUserData();
        }
        QCOMPARE(stop.count(), 1);
        page.InitCleanView();
        {
            BoxAnswerer closed(Answer::CloseWithoutButton);
            page.SlotStopCleaniTunesUserData();
            QCOMPARE(closed.opened, 1);
        }
        QCOMPARE(stop.count(), 1);
        QVERIFY(!child(&page, "pushButton_stop")->isHidden());
    }

    void cleanAfterACancelledOne() {
        CCleaniTunesUserData page;
        page.show();
        page.InitCleanView();
        page.SlotCleaniTunesUserDataProcess(4 * kMiB, 3 * kMiB);
        {
            BoxAnswerer yes(Answer::Yes);
            page.SlotStopCleaniTunesUserData();
        }
        page.InitCleanView();
        verifyCleaningView(&page);
        // No size of the earlier clean is left over.
        QCOMPARE(text(&page, "label_currentSize"), QStringLiteral("0GB"));
        QCOMPARE(text(&page, "label_totalSize"), QStringLiteral("0GB"));
        page.SlotCleaniTunesUserDataProcess(8 * kMiB, 2 * kMiB);
        QCOMPARE(barValue(&page), 25);
    }

    void stoppedCleanEnded() {
        CCleaniTunesUserData page;
        QSignalSpy finished(&page, &CCleaniTunesUserData::SignalStopCleaniTunesUserDataFinished);
        page.SlotStopCleaniTunesUserDataFinished();
        QCOMPARE(finished.count(), 1);
    }

private:
    static void verifyCleaningViewAfterProgress(QWidget* page) {
        for (const char* shown :
             {"widgetProgressBar", "label_currentSize", "label_fraction", "label_totalSize", "pushButton_stop"})
            QVERIFY2(!child(page, shown)->isHidden(), shown);
        QVERIFY(child(page, "label_gif")->isHidden());
        QCOMPARE(barValue(page), 25);
        QCOMPARE(text(page, "label_currentSize"), QStringLiteral("1MB"));
        QCOMPARE(text(page, "label_cleanTip"), QStringLiteral("Cleaning iTunes files, please wait..."));
        QCOMPARE(child<QLabel>(page, "label_image")->movie()->state(), QMovie::Running);
    }
};

QTEST_MAIN(CleaniTunesUserDataTest)
#include "tst_CleaniTunesUserData.moc"
