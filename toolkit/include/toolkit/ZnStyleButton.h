#pragma once
// Push button drawn from one image per state (normal, hover, pressed,
// disabled) with its text centred over the image. Until setImages is called
// it paints as a plain QPushButton. Mouse clicks are reported only through
// clicked(false), emitted on a left release inside the button.
//
// The updater's variant (ZnToolkitVariant::Updater when the button is built)
// is a flat button, reacts to a press and release of any mouse button while
// it is enabled and the position lies inside it, and paints each image at the
// image's own size.
#include <QPushButton>
#include <QRect>
#include <QString>

#include "ZnButtonImages.h"

class ZnStyleButton : public QPushButton {
    Q_OBJECT
public:
    explicit ZnStyleButton(QWidget* parent = nullptr);

    // Image mode with four images; an empty `disabled` means no disabled image.
    void setImages(const QString& normal, const QString& hover, const QString& pressed, QString disabled);
    // Image mode with three images; the disabled image keeps its value.
    void setImages(const QString& normal, const QString& hover, const QString& pressed);
    // Where the image is drawn; a rectangle of width 0 means the whole button.
    void setIconRect(const QRect& rect);

    // Repaints (through signalUpdate) when the button is enabled.
    virtual void refresh();

signals:
    void signalUpdate();
    void mouseEnter();
    void mouseLeave();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    ZnButtonImages m_images;
    QRect m_rcIcon;
    bool m_bUpdaterVariant = false;
};
