// Feedback, the feedback program: shows the feedback dialog and ends when the
// dialog closes.
//
// The main window starts it with five arguments: the feedback address, the
// main program's path, the mail account's user, its password and "1". The
// dialog finds the same values itself (the addresses through the endpoints,
// the account built in or from the account file in the application folder),
// so the arguments are accepted and not needed.
#include <QApplication>

#include "mail/Feedback.h"
#include "toolkit/ZnStyleCommon.h"
#include "platform/Programs.h"

int main(int argc, char* argv[]) {
    // A line of the debug output is the message alone, without the name of its
    // logging category (QT_MESSAGE_PATTERN, when set, still decides).
    qSetMessagePattern(QStringLiteral("%{message}"));
    QApplication app(argc, argv);
    // The forms name Windows fonts; they are drawn with an installed font here.
    g_styleCommon.setUpForProgram(platform::applicationDir());

    CFeedback dialog;
    QObject::connect(&dialog, &QDialog::finished, &app, &QCoreApplication::quit);
    dialog.show();
    return app.exec();
}
