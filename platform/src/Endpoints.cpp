#include "platform/Endpoints.h"

#include <QByteArray>
#include <cstdlib>

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

namespace platform {
namespace {

struct EndpointEntry {
    Endpoint which;
    const char* variable;
    const char* fallback;
};

const EndpointEntry kEndpoints[] = {
    {Endpoint::ProductInfoServer, "CORVANE_PRODUCT_INFO_SERVER", ZN_DEFAULT_PRODUCT_INFO_SERVER},
    {Endpoint::ConfigServer, "CORVANE_CONFIG_SERVER", ZN_DEFAULT_CONFIG_SERVER},
    {Endpoint::UpdateServer, "CORVANE_UPDATE_SERVER", ZN_DEFAULT_UPDATE_SERVER},
    {Endpoint::WebSite, "CORVANE_WEB_SITE", ZN_DEFAULT_WEB_SITE},
    {Endpoint::SupportPage, "CORVANE_SUPPORT_PAGE", ZN_DEFAULT_WEB_SITE "/support"},
    {Endpoint::FacebookPage, "CORVANE_FACEBOOK_PAGE", "https://www.facebook.com/corvane"},
    {Endpoint::TwitterPage, "CORVANE_TWITTER_PAGE", "https://twitter.com/corvane"},
    {Endpoint::FacebookShare, "CORVANE_FACEBOOK_SHARE", "https://www.facebook.com"},
    {Endpoint::TwitterShare, "CORVANE_TWITTER_SHARE", "https://twitter.com"},
    {Endpoint::GoogleShare, "CORVANE_GOOGLE_SHARE", "https://plus.google.com"},
    {Endpoint::FeedbackMailTo, "CORVANE_FEEDBACK_MAILTO", "support@corvane.example"},
    {Endpoint::FeedbackAccount, "CORVANE_FEEDBACK_ACCOUNT", "feedback@corvane.example"},
    {Endpoint::MailServer, "CORVANE_MAIL_SERVER", ZN_DEFAULT_MAIL_SERVER},
    {Endpoint::MailServerPort, "CORVANE_MAIL_SERVER_PORT", ZN_DEFAULT_MAIL_SERVER_PORT},
};

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
    QByteArray value = qgetenv(e.variable);
    QString address = value.isEmpty() ? QString::fromUtf8(e.fallback) : QString::fromUtf8(value);
    while (address.endsWith(QLatin1Char('/'))) address.chop(1);
    return address;
}

}  // namespace platform
