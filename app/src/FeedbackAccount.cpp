#include "app/FeedbackAccount.h"

#include "platform/Endpoints.h"

QString FeedbackAccountUser() { return platform::endpoint(platform::Endpoint::FeedbackAccount); }

QString FeedbackAccountPassword() { return QStringLiteral("quorvel@586"); }
