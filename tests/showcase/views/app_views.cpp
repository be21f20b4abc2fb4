// Views of the main program: the main window as it starts (detection page), and
// the About box. flows/home shows the home page.
#include "About.h"
#include "FixiTunes.h"
#include "Showcase.h"

ZN_SHOWCASE_VIEW("app/mainwindow-start") {
    // The window starts on the detection page, with the engine of the
    // application folder checking its demo installation.
    return new FixiTunes;
}

ZN_SHOWCASE_VIEW("app/about") { return new CAbout; }
