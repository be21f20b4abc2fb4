#pragma once
// Logging of the calls into the repair engine.
// Each category is switched on or off through QT_LOGGING_RULES (README.md);
// docs/ARCHITECTURE.md lists the names.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcGateway)
