#pragma once
// Small helpers shared by the toolkit's widget tests: solid-colour image
// fixtures, rendering a widget into an image, and mouse events sent directly
// (offscreen Qt delivers no move events for QTest::mouseMove with a held button).
#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QString>
#include <QWidget>

namespace tk {

// Writes a w x h PNG of one colour and returns its path.
inline QString writeSolidPng(const QString& dir, const QString& name, const QColor& color, int w = 40, int h = 30) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(color);
    const QString path = QDir(dir).filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    img.save(path, "PNG");
    return path;
}

// The widget painted into an ARGB image of its own size, over transparency.
inline QImage render(QWidget* widget) {
    QImage img(widget->size(), QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    widget->render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

inline void sendMouse(QWidget* widget, QEvent::Type type, const QPoint& local, Qt::MouseButton button,
                      Qt::MouseButtons buttons, const QPoint& global) {
    QMouseEvent event(type, QPointF(local), QPointF(local), QPointF(global), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void press(QWidget* w, const QPoint& local, Qt::MouseButton b = Qt::LeftButton) {
    sendMouse(w, QEvent::MouseButtonPress, local, b, b, w->mapToGlobal(local));
}

inline void release(QWidget* w, const QPoint& local, Qt::MouseButton b = Qt::LeftButton) {
    sendMouse(w, QEvent::MouseButtonRelease, local, b, Qt::NoButton, w->mapToGlobal(local));
}

inline void enter(QWidget* w) {
    QEvent e(QEvent::Enter);
    QApplication::sendEvent(w, &e);
}

inline void leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

}  // namespace tk
