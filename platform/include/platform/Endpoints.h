#pragma once
// Addresses of the product's servers and web pages.
//
// The code fixes paths on these servers, never host names: every host comes from
// here. Defaults are set at build time; each can be overridden by an environment
// variable (tests and the demo point them at local servers). This unit is the only
// place of the product that reads the environment.
#include <QString>

namespace platform {

enum class Endpoint {
    ProductInfoServer,  // product-information service: the mail-account file
    ConfigServer,       // configuration server: the iTunes installer table
    UpdateServer,       // update server queried by the updater ("/verinfo?")
    WebSite,            // the product's web site (product page, guides)
    SupportPage,        // the support page of the tools menu and the About box
    FacebookPage,       // the maker's Facebook page
    TwitterPage,        // the maker's Twitter page
    FacebookShare,      // share endpoints of the result page
    TwitterShare,
    GoogleShare,
    FeedbackMailTo,   // the address feedback mails go to
    FeedbackAccount,  // the mail account feedback mails are sent from
    MailServer,       // host name of the mail server feedback mails are sent through
    MailServerPort,   // its SMTP port, as decimal text ("25")
};

// The address without a trailing slash, e.g. "https://www.corvane.example".
// A value from the environment is used only when it has the endpoint's form: a
// URL that parses with a scheme and a host, a host name (MailServer), a port
// from 1 to 65535 in decimal digits (MailServerPort), a mail address without
// blanks or control characters (FeedbackMailTo, FeedbackAccount). Any other
// value, also an empty one, is refused with one warning line naming the
// variable (once per value), and the built-in default is used.
QString endpoint(Endpoint which);

// Name of the environment variable that overrides an endpoint.
const char* endpointVariable(Endpoint which);

}  // namespace platform
