#include "platform/Endpoints.h"

#include <QByteArray>
#include <QDebug>
#include <QHash>
#include <QLoggingCategory>
#include <QMutex>
#include <QUrl>

#ifndef ZN_DEFAULT_PRODUCT_INFO_SERVER
#define ZN_DEFAULT_PRODUCT_INFO_SERVER "https://pro-info.corvane.example"
#endif
#ifndef ZN_DEFAULT_CONFIG_SERVER
#define ZN_DEFAULT_CONFIG_SERVER "https://config.corvane.example"
#endif
#ifndef ZN_DEFAULT_UPDATE_SERVER
#define ZN_DEFAULT_UPDATE_SERVER "https://update.corvane.example"
#endif
#ifndef ZN_DEFAULT_MAIL_SERVER
#define ZN_DEFAULT_MAIL_SERVER "smtp.corvane.example"
#endif
#ifndef ZN_DEFAULT_MAIL_SERVER_PORT
#define ZN_DEFAULT_MAIL_SERVER_PORT "25"
#endif
#ifndef ZN_DEFAULT_WEB_SITE
#define ZN_DEFAULT_WEB_SITE "https://www.corvane.example"
#endif

// The platform layer's own lines (a refused endpoint value); QT_LOGGING_RULES
// switches them with "platform".
Q_LOGGING_CATEGORY(lcPlatform, "platform")

namespace platform {
namespace {

// What a value of the environment must be to be used.
enum class Form {
    Url,      // parses, with a scheme and a host: "https://config.corvane.example"
    Host,     // a host name or address: "smtp.corvane.example", "127.0.0.1"
    Port,     // a TCP port in decimal, 1-65535: "25"
    Address,  // a mail address: "support@corvane.example"
};

struct EndpointEntry {
    Endpoint which;
    const char* variable;
    const char* fallback;
    Form form;
};

const EndpointEntry kEndpoints[] = {
    {Endpoint::ProductInfoServer, "CORVANE_PRODUCT_INFO_SERVER", ZN_DEFAULT_PRODUCT_INFO_SERVER, Form::Url},
    {Endpoint::ConfigServer, "CORVANE_CONFIG_SERVER", ZN_DEFAULT_CONFIG_SERVER, Form::Url},
    {Endpoint::UpdateServer, "CORVANE_UPDATE_SERVER", ZN_DEFAULT_UPDATE_SERVER, Form::Url},
    {Endpoint::WebSite, "CORVANE_WEB_SITE", ZN_DEFAULT_WEB_SITE, Form::Url},
    {Endpoint::SupportPage, "CORVANE_SUPPORT_PAGE", ZN_DEFAULT_WEB_SITE "/support", Form::Url},
    {Endpoint::FacebookPage, "CORVANE_FACEBOOK_PAGE", "https://www.facebook.com/corvane", Form::Url},
    {Endpoint::TwitterPage, "CORVANE_TWITTER_PAGE", "https://twitter.com/corvane", Form::Url},
    {Endpoint::FacebookShare, "CORVANE_FACEBOOK_SHARE", "https://www.facebook.com", Form::Url},
    {Endpoint::TwitterShare, "CORVANE_TWITTER_SHARE", "https://twitter.com", Form::Url},
    {Endpoint::GoogleShare, "CORVANE_GOOGLE_SHARE", "https://plus.google.com", Form::Url},
    {Endpoint::FeedbackMailTo, "CORVANE_FEEDBACK_MAILTO", "support@corvane.example", Form::Address},
    {Endpoint::FeedbackAccount, "CORVANE_FEEDBACK_ACCOUNT", "feedback@corvane.example", Form::Address},
    {Endpoint::MailServer, "CORVANE_MAIL_SERVER", ZN_DEFAULT_MAIL_SERVER, Form::Host},
    {Endpoint::MailServerPort, "CORVANE_MAIL_SERVER_PORT", ZN_DEFAULT_MAIL_SERVER_PORT, Form::Port},
};

bool isHost(const QString& value) {
    QUrl url;
    url.setHost(value, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() && !value.contains(QLatin1Char('/'));
}

bool isValidValue(const QString& value, Form form) {
    switch (form) {
    case Form::Url: {
        const QUrl url(value, QUrl::StrictMode);
        return url.isValid() && !url.scheme().isEmpty() && !url.host().isEmpty();
    }
    case Form::Host: return isHost(value);
    case Form::Port: {
        if (value.isEmpty() || value.size() > 5) return false;
        for (const QChar c : value)
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
        const int port = value.toInt();
        return port >= 1 && port <= 65535;
    }
    case Form::Address: {
        const int at = value.indexOf(QLatin1Char('@'));
        if (at <= 0 || at != value.lastIndexOf(QLatin1Char('@'))) return false;
        for (const QChar c : value)
            if (c <= QLatin1Char(' ') || c == QChar(0x7f)) return false;
        return isHost(value.mid(at + 1));
    }
    }
    return false;
}

const char* formText(Form form) {
    switch (form) {
    case Form::Url: return "a URL with a scheme and a host";
    case Form::Host: return "a host name";
    case Form::Port: return "a port from 1 to 65535";
    case Form::Address: return "a mail address";
    }
    return "";
}

// The value as it can stand in one log line: control characters as \xNN,
// cut after 200 characters.
QString printable(const QByteArray& value) {
    QString text;
    for (const QChar c : QString::fromUtf8(value.left(200))) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            text += c;
    }
    return value.size() > 200 ? text + QStringLiteral("...") : text;
}

// Says once per refused value that it was refused: endpoints are read again
// and again, and one line is enough.
void reportRefused(const EndpointEntry& e, const QByteArray& value) {
    static QMutex mutex;
    static QHash<QByteArray, QByteArray> reported;
    {
        const QMutexLocker lock(&mutex);
        const auto it = reported.constFind(e.variable);
        if (it != reported.constEnd() && *it == value) return;
        reported.insert(e.variable, value);
    }
    qCWarning(lcPlatform).noquote() << QStringLiteral("%1=\"%2\" refused: not %3; the built-in \"%4\" is used")
                                           .arg(QLatin1String(e.variable), printable(value),
                                                QLatin1String(formText(e.form)), QLatin1String(e.fallback));
}

const EndpointEntry& entryFor(Endpoint which) {
    for (const EndpointEntry& e : kEndpoints) {
        if (e.which == which) return e;
    }
    return kEndpoints[0];
}

}  // namespace

const char* endpointVariable(Endpoint which) { return entryFor(which).variable; }

QString endpoint(Endpoint which) {
    const EndpointEntry& e = entryFor(which);
    QString address = QString::fromUtf8(e.fallback);
    if (qEnvironmentVariableIsSet(e.variable)) {
        const QByteArray value = qgetenv(e.variable);
        if (isValidValue(QString::fromUtf8(value), e.form))
            address = QString::fromUtf8(value);
        else
            reportRefused(e, value);
    }
    while (address.endsWith(QLatin1Char('/'))) address.chop(1);
    return address;
}

}  // namespace platform
