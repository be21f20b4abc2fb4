// Views of the main program: the main window on its home page, and the About box.
#include "About.h"
#include "FixiTunes.h"
#include "Showcase.h"

ZN_SHOWCASE_VIEW("app/mainwindow-home") {
    // The window starts on the home page, with the engine of the application
    // folder telling the installed iTunes version.
    return new FixiTunes;
}

ZN_SHOWCASE_VIEW("app/about") { return new CAbout; }
