// The feedback dialog, empty and filled in, and the boxes that tell the
// outcome of a send (as the dialog shows them).
#include <QLineEdit>
#include <QPlainTextEdit>

#include "mail/Feedback.h"
#include "Showcase.h"
#include "toolkit/ZnMessageBox.h"
#include "toolkit/ZnStyleCommon.h"

namespace {

QWidget* outcomeBox(const char* text, const char* icon) {
    ZnStyleCommon::installPlatformFonts();
    auto* box =
        new ZnMessageBox(CFeedback::tr(text), QStringLiteral("Brelion Corvane"), ZnMessageBoxButton::Ok, nullptr);
    if (*icon) box->setIcon(QLatin1String(icon));
    return box;
}

}  // namespace

ZN_SHOWCASE_VIEW("mail/feedback") {
    ZnStyleCommon::installPlatformFonts();
    return new CFeedback;
}

ZN_SHOWCASE_VIEW("mail/feedback-filled") {
    ZnStyleCommon::installPlatformFonts();
    auto* dialog = new CFeedback;
    dialog->findChild<QLineEdit*>(QStringLiteral("LabelEmailText"))->setText(QStringLiteral("jane.doe@example.com"));
    dialog->findChild<QPlainTextEdit*>(QStringLiteral("LabelContentText"))
        ->setPlainText(QStringLiteral("After the repair iTunes starts, but my iPhone is not recognised when I "
                                      "connect it. The quick clean worked fine.\n\nThanks!"));
    return dialog;
}

ZN_SHOWCASE_VIEW("mail/box-invalid-address") {
    return outcomeBox("Please enter a valid email address.", "/Application/tip_fail.png");
}

ZN_SHOWCASE_VIEW("mail/box-empty-content") {
    return outcomeBox("The content is empty. Please enter your comments or suggestions.", "/Application/tip_fail.png");
}

ZN_SHOWCASE_VIEW("mail/box-no-connection") {
    return outcomeBox(
        "Sorry, it failed to submit the feedback. Please make sure you have a stable network connection and try it "
        "again.",
        "/Application/tip_fail.png");
}

ZN_SHOWCASE_VIEW("mail/box-login-failed") {
    return outcomeBox("Sorry, it failed to submit the feedback because fail to login.", "");
}

ZN_SHOWCASE_VIEW("mail/box-unknown-error") {
    return outcomeBox("Sorry, it failed to submit the feedback because an unknown error occurred.",
                      "/Application/tip_fail.png");
}

ZN_SHOWCASE_VIEW("mail/box-submitted") { return outcomeBox("Submitted successfully.", "/Application/tip_succeed.png"); }
