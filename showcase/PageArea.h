#pragma once
// The page area of the main window, for views of its pages: a page is shown
// as the main window shows it, inside a white area of the main window's size
// (1010 x 628 less the 5-px frame and the 41-px title bar).
#include <QGridLayout>
#include <QString>
#include <QWidget>

namespace showcase {

// Puts `page` into a new page area with `styleSheet` and returns the area.
inline QWidget* inPageArea(QWidget* page, const QString& styleSheet) {
    auto* area = new QWidget;
    area->setObjectName(QStringLiteral("widgetMain"));
    area->setStyleSheet(styleSheet);
    area->setFixedSize(1000, 577);
    auto* grid = new QGridLayout(area);
    grid->setSpacing(0);
    grid->setContentsMargins(0, 0, 0, 0);
    page->setParent(area);
    page->setGeometry(area->rect());
    grid->addWidget(page);
    return area;
}

}  // namespace showcase
