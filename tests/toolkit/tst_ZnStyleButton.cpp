// Image buttons: the image painted in each state, the mouse handling, and the
// plain mode before any image is set.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "ToolkitTestUtil.h"
#include "toolkit/ZnStyleButton.h"
#include "toolkit/ZnStyleButtonWidget.h"

namespace {
const QColor kNormal(200, 40, 40);
const QColor kHover(40, 200, 40);
const QColor kPressed(40, 40, 200);
const QColor kDisabled(128, 128, 128);
}  // namespace

class tst_ZnStyleButton : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void paintsTheImageOfEachState();
    void disabledImageOnlyWhenSet();
    void pressInsideReleaseOutside();
    void otherButtonsChangeNothing();
    void plainButtonStillClicks();
    void missingImageStillDrawsText();
    void iconRectangle();
    void refreshOnlyWhenEnabled();
    void buttonWidgetNaturalSizeAndIconRect();
    void buttonWidgetStatesAndClick();

private:
    QColor centre(QWidget* w) { return tk::render(w).pixelColor(w->width() / 2, w->height() / 2); }
    QTemporaryDir m_dir;
    QString m_normal, m_hover, m_pressed, m_disabled;
};

void tst_ZnStyleButton::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_normal = tk::writeSolidPng(m_dir.path(), "normal.png", kNormal);
    m_hover = tk::writeSolidPng(m_dir.path(), "hover.png", kHover);
    m_pressed = tk::writeSolidPng(m_dir.path(), "pressed.png", kPressed);
    m_disabled = tk::writeSolidPng(m_dir.path(), "disabled.png", kDisabled);
}

void tst_ZnStyleButton::paintsTheImageOfEachState() {
    ZnStyleButton button;
    button.resize(100, 30);
    QCOMPARE(button.palette().color(QPalette::ButtonText), QColor(66, 66, 66));
    button.setImages(m_normal, m_hover, m_pressed, m_disabled);
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QSignalSpy entered(&button, &ZnStyleButton::mouseEnter);
    QSignalSpy left(&button, &ZnStyleButton::mouseLeave);

    QCOMPARE(centre(&button), kNormal);
    tk::enter(&button);
    QCOMPARE(entered.count(), 1);
    QCOMPARE(centre(&button), kHover);
    tk::press(&button, QPoint(10, 10));
    QCOMPARE(centre(&button), kPressed);
    QVERIFY(!button.isDown());
    tk::release(&button, QPoint(10, 10));
    QCOMPARE(centre(&button), kHover);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toBool(), false);
    tk::leave(&button);
    QCOMPARE(left.count(), 1);
    QCOMPARE(centre(&button), kNormal);
    button.setEnabled(false);
    QCOMPARE(centre(&button), kDisabled);
    // A disabled button ignores presses.
    tk::press(&button, QPoint(10, 10));
    button.setEnabled(true);
    QCOMPARE(centre(&button), kNormal);
}

void tst_ZnStyleButton::disabledImageOnlyWhenSet() {
    ZnStyleButton button;
    button.resize(100, 30);
    button.setImages(m_normal, m_hover, m_pressed, QString());
    tk::enter(&button);
    button.setEnabled(false);
    QCOMPARE(centre(&button), kHover);  // the stored state's image

    // The three-image form keeps the disabled image set before.
    ZnStyleButton kept;
    kept.resize(100, 30);
    kept.setImages(m_normal, m_hover, m_pressed, m_disabled);
    kept.setImages(m_hover, m_normal, m_pressed);
    kept.setEnabled(false);
    QCOMPARE(centre(&kept), kDisabled);
    kept.setEnabled(true);
    QCOMPARE(centre(&kept), kHover);
}

void tst_ZnStyleButton::pressInsideReleaseOutside() {
    ZnStyleButton button;
    button.resize(100, 30);
    button.setImages(m_normal, m_hover, m_pressed, QString());
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    tk::enter(&button);
    tk::press(&button, QPoint(10, 10));
    tk::release(&button, QPoint(150, 10));
    QCOMPARE(clicked.count(), 0);
    QCOMPARE(centre(&button), kHover);
    tk::leave(&button);
    QCOMPARE(centre(&button), kNormal);
}

void tst_ZnStyleButton::otherButtonsChangeNothing() {
    ZnStyleButton button;
    button.resize(100, 30);
    button.setImages(m_normal, m_hover, m_pressed, QString());
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    tk::press(&button, QPoint(10, 10), Qt::RightButton);
    QCOMPARE(centre(&button), kNormal);
    tk::release(&button, QPoint(10, 10), Qt::RightButton);
    QCOMPARE(centre(&button), kNormal);
    QCOMPARE(clicked.count(), 0);
}

void tst_ZnStyleButton::plainButtonStillClicks() {
    ZnStyleButton button;
    button.setText(QStringLiteral("Plain"));
    button.setFocusPolicy(Qt::NoFocus);  // a press gives focus, which the style draws
    button.resize(100, 30);
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QSignalSpy pressed(&button, &QAbstractButton::pressed);
    QSignalSpy released(&button, &QAbstractButton::released);
    tk::enter(&button);
    tk::render(&button);  // polishes the button
    const QImage before = tk::render(&button);
    tk::press(&button, QPoint(10, 10));
    QVERIFY(!button.isDown());
    QCOMPARE(tk::render(&button), before);  // no pressed look
    tk::release(&button, QPoint(10, 10));
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toBool(), false);
    QCOMPARE(pressed.count(), 0);
    QCOMPARE(released.count(), 0);

    // Checkable buttons never toggle by mouse.
    button.setCheckable(true);
    tk::press(&button, QPoint(10, 10));
    tk::release(&button, QPoint(10, 10));
    QVERIFY(!button.isChecked());
    QCOMPARE(clicked.count(), 2);
}

void tst_ZnStyleButton::missingImageStillDrawsText() {
    ZnStyleButton button;
    button.resize(100, 30);
    button.setText(QStringLiteral("OK"));
    button.setImages(m_dir.filePath("none1.png"), m_dir.filePath("none2.png"), m_dir.filePath("none3.png"), QString());
    const QImage img = tk::render(&button);
    int textPixels = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixelColor(x, y).alpha() > 128) ++textPixels;
    QVERIFY(textPixels > 10);
    // Centred: the ink lies around the middle, not at the edges.
    QCOMPARE(img.pixelColor(2, 2).alpha(), 0);
}

void tst_ZnStyleButton::iconRectangle() {
    ZnStyleButton button;
    button.resize(100, 30);
    button.setImages(m_normal, m_hover, m_pressed, QString());
    button.setIconRect(QRect(10, 5, 20, 10));
    const QImage img = tk::render(&button);
    QCOMPARE(img.pixelColor(15, 10), kNormal);
    QCOMPARE(img.pixelColor(29, 14), kNormal);
    QCOMPARE(img.pixelColor(50, 20).alpha(), 0);
    QCOMPARE(img.pixelColor(5, 5).alpha(), 0);
}

void tst_ZnStyleButton::refreshOnlyWhenEnabled() {
    ZnStyleButton button;
    QSignalSpy updates(&button, &ZnStyleButton::signalUpdate);
    button.refresh();
    QCOMPARE(updates.count(), 1);
    button.setEnabled(false);
    button.refresh();
    QCOMPARE(updates.count(), 1);
}

void tst_ZnStyleButton::buttonWidgetNaturalSizeAndIconRect() {
    ZnStyleButtonWidget tile;
    tile.resize(100, 80);
    QCOMPARE(tk::render(&tile).pixelColor(50, 40).alpha(), 0);  // plain mode paints nothing
    tile.setImages(m_normal, m_hover, m_pressed);               // 40 x 30 images
    QImage img = tk::render(&tile);
    QCOMPARE(img.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(img.pixelColor(1, 1), kNormal);
    QCOMPARE(img.pixelColor(40, 30), kNormal);
    QCOMPARE(img.pixelColor(41, 31).alpha(), 0);
    QCOMPARE(img.pixelColor(90, 70).alpha(), 0);

    tile.setIconRect(QRect(50, 40, 50, 40));
    img = tk::render(&tile);
    QCOMPARE(img.pixelColor(1, 1).alpha(), 0);
    QCOMPARE(img.pixelColor(50, 40), kNormal);
    QCOMPARE(img.pixelColor(99, 79), kNormal);

    // The four-image form scales into the whole widget.
    ZnStyleButtonWidget scaled;
    scaled.resize(100, 80);
    scaled.setImages(m_normal, m_hover, m_pressed, QString());
    QVERIFY(scaled.hasMouseTracking());
    img = tk::render(&scaled);
    QCOMPARE(img.pixelColor(0, 0), kNormal);
    QCOMPARE(img.pixelColor(99, 79), kNormal);
}

void tst_ZnStyleButton::buttonWidgetStatesAndClick() {
    ZnStyleButtonWidget tile;
    tile.resize(100, 80);
    tile.setImages(m_normal, m_hover, m_pressed, m_disabled);
    QSignalSpy clicked(&tile, &ZnStyleButtonWidget::clicked);
    tk::enter(&tile);
    QCOMPARE(centre(&tile), kHover);
    tk::press(&tile, QPoint(10, 10));
    QCOMPARE(centre(&tile), kPressed);
    tk::release(&tile, QPoint(10, 10));
    QCOMPARE(centre(&tile), kHover);
    QCOMPARE(clicked.count(), 1);
    tk::press(&tile, QPoint(10, 10));
    tk::release(&tile, QPoint(-1, 10));
    QCOMPARE(clicked.count(), 1);
    tk::leave(&tile);
    QCOMPARE(centre(&tile), kNormal);
    tile.setEnabled(false);
    QCOMPARE(centre(&tile), kDisabled);
}

QTEST_MAIN(tst_ZnStyleButton)
#include "tst_ZnStyleButton.moc"
