// Endpoint values from the environment: used when they have the endpoint's
// form, otherwise refused with one log line naming the variable, and the
// built-in default used. A port out of range must never wrap around to another.
#include "platform/Endpoints.h"

#include <QByteArray>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using platform::Endpoint;

namespace {

QStringList g_warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg) g_warnings << message;
}

struct EndpointCase {
    const char* what;
    Endpoint which;
    const char* value;     // null: unset
    const char* expected;  // null: the built-in default
};

void PrintTo(const EndpointCase& c, std::ostream* os) { *os << c.what; }

class EndpointFromEnvironment : public ::testing::TestWithParam<EndpointCase> {
protected:
    void SetUp() override {
        const char* variable = platform::endpointVariable(GetParam().which);
        ::unsetenv(variable);
        m_default = platform::endpoint(GetParam().which);
        g_warnings.clear();
        m_previous = qInstallMessageHandler(&collectWarnings);
    }
    void TearDown() override {
        qInstallMessageHandler(m_previous);
        ::unsetenv(platform::endpointVariable(GetParam().which));
    }

    QString m_default;
    QtMessageHandler m_previous = nullptr;
};

TEST_P(EndpointFromEnvironment, IsUsedOnlyInItsForm) {
    const EndpointCase& c = GetParam();
    const char* variable = platform::endpointVariable(c.which);
    if (c.value) ::setenv(variable, c.value, 1);
    const QString expected = c.expected ? QString::fromUtf8(c.expected) : m_default;
    // Read twice, as the programs do: still one line.
    EXPECT_EQ(platform::endpoint(c.which).toStdString(), expected.toStdString());
    EXPECT_EQ(platform::endpoint(c.which).toStdString(), expected.toStdString());
    if (c.expected || !c.value) {
        EXPECT_TRUE(g_warnings.isEmpty()) << g_warnings.join(QLatin1Char('\n')).toStdString();
    } else {
        ASSERT_EQ(g_warnings.size(), 1) << g_warnings.join(QLatin1Char('\n')).toStdString();
        const QString line = g_warnings.first();
        EXPECT_TRUE(line.startsWith(QLatin1String(variable) + QLatin1Char('='))) << line.toStdString();
        EXPECT_TRUE(line.contains(QStringLiteral("refused"))) << line.toStdString();
        EXPECT_FALSE(line.contains(QLatin1Char('\n'))) << line.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, EndpointFromEnvironment,
    ::testing::Values(
        EndpointCase{"port unset", Endpoint::MailServerPort, nullptr, nullptr},
        EndpointCase{"port 2525", Endpoint::MailServerPort, "2525", "2525"},
        EndpointCase{"port 1", Endpoint::MailServerPort, "1", "1"},
        EndpointCase{"port 65535", Endpoint::MailServerPort, "65535", "65535"},
        EndpointCase{"port 68061 wraps to 2525", Endpoint::MailServerPort, "68061", nullptr},
        EndpointCase{"port 65536", Endpoint::MailServerPort, "65536", nullptr},
        EndpointCase{"port 0", Endpoint::MailServerPort, "0", nullptr},
        EndpointCase{"port -1", Endpoint::MailServerPort, "-1", nullptr},
        EndpointCase{"port abc", Endpoint::MailServerPort, "abc", nullptr},
        EndpointCase{"port empty", Endpoint::MailServerPort, "", nullptr},
        EndpointCase{"port with a blank", Endpoint::MailServerPort, "25 ", nullptr},
        EndpointCase{"port with a sign", Endpoint::MailServerPort, "+25", nullptr},
        EndpointCase{"port 4294967321", Endpoint::MailServerPort, "4294967321", nullptr},
        EndpointCase{"URL", Endpoint::ConfigServer, "http://127.0.0.1:8080/config/", "http://127.0.0.1:8080/config"},
        EndpointCase{"URL without scheme", Endpoint::ConfigServer, "config.corvane.example", nullptr},
        EndpointCase{"URL without host", Endpoint::UpdateServer, "https://", nullptr},
        EndpointCase{"URL with a blank in the host", Endpoint::UpdateServer, "http://exa mple.com", nullptr},
        EndpointCase{"URL with a line break", Endpoint::ProductInfoServer, "http://a.example/\nx", nullptr},
        EndpointCase{"URL with a bad port", Endpoint::ProductInfoServer, "http://a.example:68061/", nullptr},
        EndpointCase{"URL empty", Endpoint::WebSite, "", nullptr},
        EndpointCase{"no URL", Endpoint::SupportPage, "mailto:support@corvane.example", nullptr},
        EndpointCase{"host", Endpoint::MailServer, "127.0.0.1", "127.0.0.1"},
        EndpointCase{"host name", Endpoint::MailServer, "smtp.example.org", "smtp.example.org"},
        EndpointCase{"host with a path", Endpoint::MailServer, "smtp.example.org/x", nullptr},
        EndpointCase{"host with a blank", Endpoint::MailServer, "smtp example", nullptr},
        EndpointCase{"host empty", Endpoint::MailServer, "", nullptr},
        EndpointCase{"address", Endpoint::FeedbackMailTo, "help@example.org", "help@example.org"},
        EndpointCase{"address with a header", Endpoint::FeedbackMailTo, "help@example.org\r\nBcc: x@y.example",
                     nullptr},
        EndpointCase{"address without @", Endpoint::FeedbackAccount, "feedback", nullptr},
        EndpointCase{"address with two @", Endpoint::FeedbackAccount, "a@b@example.org", nullptr}),
    [](const ::testing::TestParamInfo<EndpointCase>& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

}  // namespace
