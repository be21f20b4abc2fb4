#pragma once
// Plain widget drawn from one image per state, without text (the large tiles
// of the home page). Emits clicked() on a left release inside it.
#include <QRect>
#include <QString>
#include <QWidget>

#include "ZnButtonImages.h"

class ZnStyleButtonWidget : public QWidget {
    Q_OBJECT
public:
    explicit ZnStyleButtonWidget(QWidget* parent = nullptr);

    // Image mode with four images (turns mouse tracking on); an empty
    // `disabled` means no disabled image.
    void setImages(const QString& normal, const QString& hover, const QString& pressed, QString disabled);
    // Image mode with three images drawn at their own size at (1, 1); the
    // disabled image keeps its value.
    void setImages(const QString& normal, const QString& hover, const QString& pressed);
    // Where the image is drawn; a rectangle of width 0 means the default place.
    void setIconRect(const QRect& rect);

    // Repaints (through signalUpdate) when the widget is enabled.
    virtual void refresh();

signals:
    void signalUpdate();
    void mouseEnter();
    void mouseLeave();
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    ZnButtonImages m_images;
    QRect m_rcIcon;
};
