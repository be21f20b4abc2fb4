#include "FeedbackAccount.h"

#include "platform/Endpoints.h"

QString FeedbackAccountUser()
{
  const QString mailTo = platform::endpoint(platform::Endpoint::FeedbackMailTo);
  const int at = mailTo.lastIndexOf(QLatin1Char('@'));
  return QStringLiteral("feedback@") + (at >= 0 ? mailTo.mid(at + 1) : mailTo);
}

QString FeedbackAccountPassword()
{
  return QStringLiteral("quorvel@586");
}
