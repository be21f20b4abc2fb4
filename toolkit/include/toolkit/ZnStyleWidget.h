#pragma once
// A widget that moves its window when dragged with the left mouse button (the
// title bars), and paints an optional background image over its whole area.
// In the updater's variant (ZnToolkitVariant::Updater when the widget is
// built) a press gives the window focus for a mouse reason, and moves are
// followed without looking at the buttons and passed on to the parent.
#include <QPoint>
#include <QString>
#include <QWidget>

class QDesktopWidget;

class ZnStyleWidget : public QWidget {
    Q_OBJECT
public:
    explicit ZnStyleWidget(QWidget* parent = nullptr);

    // `target` is the window that drags move and slotClosePWidget closes;
    // (x, y) is this widget's position inside it; `enable` turns dragging (and
    // mouse tracking) on or off. Until this is called nothing is dragged.
    void setPWidget(QWidget* target, int x, int y, bool enable);

    // Image file painted scaled over the whole widget from the next repaint on.
    void setBackgroundImage(const QString& path);

public slots:
    // Closes the window given to setPWidget, if any.
    void slotClosePWidget();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void initDesktop();

    bool m_bDragEnabled = false;
    QPoint m_ptOffset;
    QPoint m_ptPress;
    bool m_bPressed = false;
    QWidget* m_pWidget = nullptr;
    QString m_strBackgroundImage;
    QDesktopWidget* m_pDesktop = nullptr;
    int m_nAvailableWidth = 0;
    int m_nAvailableHeight = 0;
    bool m_bUpdaterVariant = false;
};
