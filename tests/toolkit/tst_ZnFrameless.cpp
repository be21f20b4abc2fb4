// Frameless windows: the drop shadow, the dialog base, dragging a window by
// its title bar, and the title bar itself.
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include "ToolkitTestUtil.h"
#include "toolkit/ZnStyleButton.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnStyleDialog.h"
#include "toolkit/ZnStyleWidgetTitle.h"
#include "platform/Programs.h"

namespace {

// A frameless dialog with a title bar at (5, 5), as the product's dialogs are built.
struct Window {
    ZnStyleDialog dialog;
    ZnStyleWidgetTitle* title = nullptr;
    QLineEdit* edit = nullptr;

    Window() {
        dialog.resize(400, 300);
        title = new ZnStyleWidgetTitle(&dialog);
        title->setGeometry(5, 5, 390, 35);
        edit = new QLineEdit(&dialog);
        edit->setGeometry(20, 100, 100, 24);
    }
    bool showAt(const QPoint& pos) {
        dialog.move(pos);
        dialog.show();
        dialog.activateWindow();
        if (!QTest::qWaitForWindowActive(&dialog)) return false;
        dialog.setFocus();
        return dialog.pos() == pos;
    }
};

// Sends a move to the title bar whose global position is `global`.
void dragTo(QWidget* title, const QPoint& global) {
    tk::sendMouse(title, QEvent::MouseMove, title->mapFromGlobal(global), Qt::NoButton, Qt::LeftButton, global);
}

}  // namespace

class tst_ZnFrameless : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void shadowPixels();
    void dialogIsFramelessAndTranslucent();
    void dragMovesWindowByMouseDelta();
    void dragOutsideBoundsIsSkippedNotClamped();
    void dragStopsOnReleaseAndWhenFocusLeaves();
    void noDragWithoutOwnerOrWithRightButton();
    void closeButtonClosesOwnerOnly();
    void titleBarLayoutAndTexts();
    void backgroundImageFillsWidget();

private:
    QTemporaryDir m_dir;
    QSize m_available;
};

void tst_ZnFrameless::initTestCase() {
    QVERIFY(m_dir.isValid());
    ZnStyleCommon::installPlatformFonts();
    g_styleCommon.setFontFamily(QStringLiteral("Segoe UI"));
    // The title bar's images come from the skin folder of this folder.
    platform::setApplicationDir(m_dir.path());
    tk::writeSolidPng(m_dir.path(), "skin/Application/titleMenuBar35.png", QColor(240, 244, 250), 390, 35);
    tk::writeSolidPng(m_dir.path(), "skin/Application/mainWindow_close_normal.png", QColor(200, 0, 0), 18, 18);
    tk::writeSolidPng(m_dir.path(), "skin/Application/mainWindow_close_hover.png", QColor(0, 200, 0), 18, 18);
    m_available = QGuiApplication::primaryScreen()->availableGeometry().size();
}

void tst_ZnFrameless::shadowPixels() {
    ZnStyleDialog dialog;
    dialog.resize(200, 100);
    const QImage img = tk::render(&dialog);

    // Compared premultiplied, where a faint pixel keeps exact channel values.
    const QImage premultiplied = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    auto expectBlue = [&](int x, int y, int alpha) {
        const QRgb p = premultiplied.pixel(x, y);
        const QString where = QStringLiteral("(%1,%2) argb %3, want alpha %4").arg(x).arg(y).arg(p, 8, 16).arg(alpha);
        QVERIFY2(qAbs(qAlpha(p) - alpha) <= 2, qPrintable(where));
        QVERIFY2(qAbs(qRed(p) - 62 * qAlpha(p) / 255) <= 1, qPrintable(where));
        QVERIFY2(qAbs(qGreen(p) - 137 * qAlpha(p) / 255) <= 1, qPrintable(where));
        QVERIFY2(qAbs(qBlue(p) - qAlpha(p)) <= 1, qPrintable(where));
    };
    // Outlines at insets 4, 3, 2 and 1 lie over transparency; inset 0 stays empty.
    const int alphas[] = {61, 41, 25, 11};
    for (int i = 1; i <= 4; ++i) {
        expectBlue(5 - i, 50, alphas[i - 1]);    // left
        expectBlue(194 + i, 50, alphas[i - 1]);  // right
        expectBlue(100, 5 - i, alphas[i - 1]);   // top
        expectBlue(100, 94 + i, alphas[i - 1]);  // bottom
    }
    expectBlue(0, 50, 0);
    expectBlue(199, 50, 0);
    expectBlue(100, 0, 0);
    expectBlue(100, 99, 0);

    // The innermost outline (alpha 111) lies on the body's edge over white.
    const QColor edge = img.pixelColor(5, 50);
    QCOMPARE(edge.alpha(), 255);
    const int expectedRed = qRound(62 * 111 / 255.0 + 255 * (1 - 111 / 255.0));
    QVERIFY2(qAbs(edge.red() - expectedRed) <= 3, qPrintable(QString::number(edge.red())));
    QCOMPARE(edge.blue(), 255);
    // The body is opaque white inside.
    QCOMPARE(img.pixelColor(6, 6), QColor(Qt::white));
    QCOMPARE(img.pixelColor(100, 50), QColor(Qt::white));
    QCOMPARE(img.pixelColor(193, 93), QColor(Qt::white));
}

void tst_ZnFrameless::dialogIsFramelessAndTranslucent() {
    ZnStyleDialog dialog;
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(dialog.windowFlags() & Qt::WindowSystemMenuHint);
    QVERIFY(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    QVERIFY(dialog.testAttribute(Qt::WA_TranslucentBackground));
}

void tst_ZnFrameless::dragMovesWindowByMouseDelta() {
    Window w;
    w.title->setPWidget(&w.dialog, 5, 5, true);
    QVERIFY(w.title->hasMouseTracking());
    QVERIFY(w.showAt(QPoint(100, 100)));

    const QPoint grip(50, 10);
    const QPoint start = w.title->mapToGlobal(grip);
    tk::press(w.title, grip);
    dragTo(w.title, start + QPoint(30, 40));
    QCOMPARE(w.dialog.pos(), QPoint(130, 140));
    dragTo(w.title, start + QPoint(-20, 5));
    QCOMPARE(w.dialog.pos(), QPoint(80, 105));
    tk::release(w.title, w.title->mapFromGlobal(start + QPoint(-20, 5)));
}

void tst_ZnFrameless::dragOutsideBoundsIsSkippedNotClamped() {
    Window w;
    w.title->setPWidget(&w.dialog, 5, 5, true);
    QVERIFY(w.showAt(QPoint(100, 100)));
    const QPoint grip(50, 10);
    const QPoint start = w.title->mapToGlobal(grip);  // window at (100, 100)
    tk::press(w.title, grip);

    struct Step {
        QPoint windowPos;  // where the drag would put the window
        QPoint expected;   // where it is afterwards
    };
    const int maxX = m_available.width() - 200;
    const int maxY = m_available.height() - 100;
    const Step steps[] = {
        {{-799, 100}, {-799, 100}},                                  // left limit still inside
        {{-800, 100}, {-799, 100}},                                  // beyond: skipped, not clamped
        {{-900, 300}, {-799, 100}},                                  // still outside
        {{200, 300}, {200, 300}},                                    // back inside: resumes without a new press
        {{200, 23}, {200, 23}},                                      // top limit
        {{200, 22}, {200, 23}},                                      // above: skipped
        {{maxX, 200}, {maxX, 200}},                                  // right limit
        {{maxX + 1, 200}, {maxX, 200}}, {{300, maxY}, {300, maxY}},  // bottom limit
        {{300, maxY + 1}, {300, maxY}},
    };
    for (const Step& s : steps) {
        dragTo(w.title, start + (s.windowPos - QPoint(100, 100)));
        QCOMPARE(w.dialog.pos(), s.expected);
    }
}

void tst_ZnFrameless::dragStopsOnReleaseAndWhenFocusLeaves() {
    Window w;
    w.title->setPWidget(&w.dialog, 5, 5, true);
    QVERIFY(w.showAt(QPoint(100, 100)));
    const QPoint grip(50, 10);
    QPoint start = w.title->mapToGlobal(grip);

    tk::press(w.title, grip);
    tk::release(w.title, grip);
    dragTo(w.title, start + QPoint(30, 30));
    QCOMPARE(w.dialog.pos(), QPoint(100, 100));

    // A move without any held button does nothing either.
    tk::press(w.title, grip);
    tk::sendMouse(w.title, QEvent::MouseMove, grip + QPoint(30, 30), Qt::NoButton, Qt::NoButton,
                  start + QPoint(30, 30));
    QCOMPARE(w.dialog.pos(), QPoint(100, 100));

    // Focus taken elsewhere: moves stop until the next press gives it back.
    w.edit->setFocus();
    QVERIFY(!w.dialog.hasFocus());
    dragTo(w.title, start + QPoint(30, 30));
    QCOMPARE(w.dialog.pos(), QPoint(100, 100));
    tk::press(w.title, grip);
    QVERIFY(w.dialog.hasFocus());
    dragTo(w.title, start + QPoint(30, 30));
    QCOMPARE(w.dialog.pos(), QPoint(130, 130));
}

void tst_ZnFrameless::noDragWithoutOwnerOrWithRightButton() {
    Window w;
    QVERIFY(w.showAt(QPoint(100, 100)));
    const QPoint grip(50, 10);
    const QPoint start = w.title->mapToGlobal(grip);

    // No owner yet: the press is ignored and nothing moves.
    QMouseEvent pressEvent(QEvent::MouseButtonPress, grip, start, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.title, &pressEvent);
    QVERIFY(!pressEvent.isAccepted());
    dragTo(w.title, start + QPoint(30, 30));
    QCOMPARE(w.dialog.pos(), QPoint(100, 100));

    // With an owner, the right button starts no drag.
    w.title->setPWidget(&w.dialog, 5, 5, true);
    tk::press(w.title, grip, Qt::RightButton);
    tk::sendMouse(w.title, QEvent::MouseMove, grip, Qt::NoButton, Qt::RightButton, start + QPoint(30, 30));
    QCOMPARE(w.dialog.pos(), QPoint(100, 100));

    // Turned off again: presses are ignored.
    w.title->setPWidget(&w.dialog, 5, 5, false);
    QVERIFY(!w.title->hasMouseTracking());
    tk::press(w.title, grip);
    dragTo(w.title, start + QPoint(30, 30));
    QCOMPARE(w.dialog.pos(), QPoint(100, 100));
}

void tst_ZnFrameless::closeButtonClosesOwnerOnly() {
    Window w;
    QVERIFY(w.showAt(QPoint(100, 100)));
    ZnStyleButton* close = w.title->findChild<ZnStyleButton*>();
    QVERIFY(close);
    auto click = [&] {
        tk::press(close, QPoint(5, 5));
        tk::release(close, QPoint(5, 5));
    };
    click();  // no owner: nothing happens
    QVERIFY(w.dialog.isVisible());
    w.title->setPWidget(&w.dialog, 5, 5, true);
    click();
    QVERIFY(!w.dialog.isVisible());
}

void tst_ZnFrameless::titleBarLayoutAndTexts() {
    ZnStyleWidgetTitle title;
    title.resize(480, 35);
    const QList<QLabel*> labels = title.findChildren<QLabel*>();
    QCOMPARE(labels.size(), 2);
    QLabel* logo = labels.at(0)->size() == QSize(21, 21) ? labels.at(0) : labels.at(1);
    QLabel* caption = logo == labels.at(0) ? labels.at(1) : labels.at(0);
    QCOMPARE(logo->size(), QSize(21, 21));
    QVERIFY(logo->isHidden());
    QCOMPARE(caption->text(), QStringLiteral("Brelion Corvane"));
    QCOMPARE(caption->font().pixelSize(), 14);
    QCOMPARE(caption->styleSheet(), QStringLiteral("color: rgb(72, 72, 72); "));
    title.setTitleText(QStringLiteral("Note"));
    QCOMPARE(caption->text(), QStringLiteral("Note"));

    auto* layout = qobject_cast<QHBoxLayout*>(title.layout());
    QVERIFY(layout);
    QCOMPARE(layout->objectName(), QStringLiteral("horizontalLayout"));
    QCOMPARE(layout->spacing(), 6);
    QCOMPARE(layout->contentsMargins(), QMargins(15, 0, 15, 0));
    QCOMPARE(layout->count(), 4);
    QCOMPARE(layout->itemAt(0)->widget(), logo);
    QCOMPARE(layout->itemAt(1)->widget(), caption);
    QVERIFY(layout->itemAt(2)->spacerItem());

    ZnStyleButton* close = title.findChild<ZnStyleButton*>();
    QCOMPARE(layout->itemAt(3)->widget(), close);
    QCOMPARE(close->minimumSize(), QSize(18, 18));
    QCOMPARE(close->maximumSize(), QSize(18, 18));
    title.show();
    QVERIFY(close->isVisible());
    title.hideCloseButton();
    QVERIFY(!close->isVisible());
}

void tst_ZnFrameless::backgroundImageFillsWidget() {
    ZnStyleWidget widget;
    widget.resize(120, 40);
    QCOMPARE(tk::render(&widget).pixelColor(60, 20).alpha(), 0);  // no image: nothing drawn
    widget.setBackgroundImage(tk::writeSolidPng(m_dir.path(), "bg.png", QColor(10, 200, 30), 12, 4));
    const QImage img = tk::render(&widget);
    for (const QPoint& p : {QPoint(0, 0), QPoint(60, 20), QPoint(119, 39)})
        QCOMPARE(img.pixelColor(p), QColor(10, 200, 30));
    widget.setBackgroundImage(m_dir.filePath("missing.png"));
    QCOMPARE(tk::render(&widget).pixelColor(60, 20).alpha(), 0);
}

QTEST_MAIN(tst_ZnFrameless)
#include "tst_ZnFrameless.moc"
