#pragma once
// Logging of the updater: its window, the update check (server queries),
// and the start (settings and screen).
// Each category is switched on or off through QT_LOGGING_RULES (README.md);
// docs/ARCHITECTURE.md lists the names.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcUpdaterWindow)
Q_DECLARE_LOGGING_CATEGORY(lcUpdaterCheck)
Q_DECLARE_LOGGING_CATEGORY(lcUpdaterStartup)
