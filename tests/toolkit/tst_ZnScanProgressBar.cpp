// The scan progress bar: accepted values, the style step, and the pacing of
// the simulated run (its timer slot is driven directly).
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>

#include "toolkit/ZnScanProgressBar.h"
#include "toolkit/ZnStyleCommon.h"

namespace {
QProgressBar* bar(ZnScanProgressBar& w) { return w.findChild<QProgressBar*>(QStringLiteral("progressBar")); }
QLabel* label(ZnScanProgressBar& w) { return w.findChild<QLabel*>(QStringLiteral("label")); }
QTimer* timer(ZnScanProgressBar& w) { return w.findChild<QTimer*>(); }
}  // namespace

class tst_ZnScanProgressBar : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { g_styleCommon.setFontFamily(QStringLiteral("Segoe UI")); }
    void startState();
    void setProgressValue_data();
    void setProgressValue();
    void simulatedRunPacing();
    void restartDuringRun();
    void stopTimer();
    void labelTextAndSizes();
};

void tst_ZnScanProgressBar::startState() {
    ZnScanProgressBar w;
    QCOMPARE(w.objectName(), QStringLiteral("ZnScanProgressBar"));
    QCOMPARE(bar(w)->value(), 0);
    QCOMPARE(bar(w)->maximum(), 100);
    QVERIFY(!bar(w)->isTextVisible());
    QCOMPARE(bar(w)->maximumHeight(), 8);
    QCOMPARE(label(w)->text(), QStringLiteral("0%"));
    QCOMPARE(label(w)->minimumWidth(), 30);
    QCOMPARE(label(w)->maximumWidth(), 30);
    QCOMPARE(label(w)->font().pixelSize(), 14);
    QCOMPARE(label(w)->styleSheet(), QStringLiteral("color:rgb(55, 125, 255);"));
    QCOMPARE(label(w)->alignment(), Qt::Alignment(Qt::AlignLeft));
    QVERIFY(bar(w)->styleSheet().startsWith(QStringLiteral("QProgressBar {color: transparent;")));
    QVERIFY(bar(w)->styleSheet().endsWith(QStringLiteral("border-radius: 3px; text-align: none;}")));
    QVERIFY(timer(w));
    QVERIFY(!timer(w)->isActive());
}

void tst_ZnScanProgressBar::setProgressValue_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << 0 << "0%";
    QTest::newRow("37") << 37 << 37 << "37%";
    QTest::newRow("99") << 99 << 99 << "99%";
    QTest::newRow("100 ignored") << 100 << 42 << "42%";
    QTest::newRow("-1 ignored") << -1 << 42 << "42%";
    QTest::newRow("large ignored") << 1000 << 42 << "42%";
}

void tst_ZnScanProgressBar::setProgressValue() {
    QFETCH(int, value);
    QFETCH(int, shown);
    QFETCH(QString, text);
    ZnScanProgressBar w;
    w.SetProgressValue(42);
    w.SetProgressValue(value);
    QCOMPARE(bar(w)->value(), shown);
    QCOMPARE(label(w)->text(), text);
}

void tst_ZnScanProgressBar::simulatedRunPacing() {
    ZnScanProgressBar w;
    w.StartSimulatedRun(0);  // base interval 100 ms
    QTimer* t = timer(w);
    QVERIFY(t->isActive());
    QVERIFY(!t->isSingleShot());
    QCOMPARE(t->interval(), 100);
    QCOMPARE(bar(w)->value(), 1);
    QCOMPARE(label(w)->text(), QStringLiteral("1%"));

    // Each timeout comes one current interval after the last; record when each
    // value is first shown (in base intervals).
    QMap<int, int> firstShown;
    int elapsed = 0;
    for (int step = 0; step < 140; ++step) {
        elapsed += t->interval();
        w.UpdateProgressBar();
        QVERIFY(t->isActive());
        const int v = bar(w)->value();
        QVERIFY(v <= 99);
        QCOMPARE(label(w)->text(), QStringLiteral("%1%").arg(v));
        if (!firstShown.contains(v)) firstShown[v] = elapsed / 100;
    }
    QCOMPARE(firstShown.value(2), 2);
    QCOMPARE(firstShown.value(49), 49);
    QCOMPARE(firstShown.value(50), 50);
    QCOMPARE(firstShown.value(51), 54);
    QCOMPARE(firstShown.value(75), 150);
    QCOMPARE(firstShown.value(85), 230);
    QCOMPARE(firstShown.value(95), 390);
    QCOMPARE(firstShown.value(99), 518);
    // Stays at 99, firing every 32 base intervals, until stopped.
    QCOMPARE(bar(w)->value(), 99);
    QCOMPARE(t->interval(), 3200);
    QVERIFY(t->isActive());
    w.StopTimer();
    QVERIFY(!t->isActive());
}

void tst_ZnScanProgressBar::restartDuringRun() {
    ZnScanProgressBar w;
    w.StartSimulatedRun(0);
    for (int i = 0; i < 60; ++i) w.UpdateProgressBar();
    QCOMPARE(timer(w)->interval(), 400);
    w.StartSimulatedRun(5);
    QCOMPARE(timer(w)->interval(), 150);
    QCOMPARE(bar(w)->value(), 1);
    w.UpdateProgressBar();
    QCOMPARE(bar(w)->value(), 1);
    w.UpdateProgressBar();
    QCOMPARE(bar(w)->value(), 2);
    QCOMPARE(timer(w)->interval(), 150);
}

void tst_ZnScanProgressBar::stopTimer() {
    ZnScanProgressBar w;
    w.StopTimer();  // never started: no effect
    QVERIFY(!timer(w)->isActive());
    QCOMPARE(bar(w)->value(), 0);
}

void tst_ZnScanProgressBar::labelTextAndSizes() {
    ZnScanProgressBar w;
    w.SetLabelText(QString());
    QVERIFY(label(w)->isHidden());
    w.SetLabelText(QStringLiteral("12 of 40"));
    QVERIFY(!label(w)->isHidden());
    QCOMPARE(label(w)->text(), QStringLiteral("12 of 40"));

    w.SetProgressBarWidth(700);
    QCOMPARE(bar(w)->minimumWidth(), 700);
    QCOMPARE(bar(w)->maximumWidth(), 700);
    w.SetLabelWidth(40);
    QCOMPARE(label(w)->maximumWidth(), 40);
    w.SetProgressBarSize(500, 10);
    QCOMPARE(bar(w)->minimumSize(), QSize(500, 10));
    QCOMPARE(bar(w)->maximumSize(), QSize(500, 10));
    w.SetLabelSize(50, 20);
    QCOMPARE(label(w)->maximumSize(), QSize(50, 20));
    w.SetLayoutSpacing(3);
    QCOMPARE(w.layout()->spacing(), 3);
}

QTEST_MAIN(tst_ZnScanProgressBar)
#include "tst_ZnScanProgressBar.moc"
