#pragma once
// Logging of the main program's downloads and installer hashing.
// Each category is switched on or off through QT_LOGGING_RULES (README.md);
// docs/ARCHITECTURE.md lists the names.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcTransfer)
