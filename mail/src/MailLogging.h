#pragma once
// Logging of the feedback mail: the dialog and the mail-account file, and the
// SMTP client.
// Each category is switched on or off through QT_LOGGING_RULES (README.md);
// docs/ARCHITECTURE.md lists the names.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcMail)
Q_DECLARE_LOGGING_CATEGORY(lcSmtp)
