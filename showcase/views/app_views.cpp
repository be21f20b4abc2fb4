// Views of the main program: the main window as it starts (detection page), its
// tools menu, and the About box. flows/home shows the home page.
#include <QAction>
#include <QApplication>
#include <QMenu>

#include "app/About.h"
#include "app/FixiTunes.h"
#include "Showcase.h"

ZN_SHOWCASE_VIEW("app/mainwindow-start") {
    // The window starts on the detection page, with the engine of the
    // application folder checking its demo installation.
    return new FixiTunes;
}

ZN_SHOWCASE_VIEW("app/about") { return new CAbout; }

ZN_SHOWCASE_VIEW("app/tools-menu") {
    // The menu with the pointer on one entry.
    auto* window = new FixiTunes;
    window->SlotToolsMenu();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* menu = qobject_cast<QMenu*>(top);
        if (!menu || menu->actions().isEmpty() || menu->actions().first()->parent() != window) continue;
        menu->setActiveAction(menu->actions().at(2));
        return menu;
    }
    return nullptr;
}
