#include "testsupport/TestSocks.h"

#include "testsupport/ServerUtil.h"

namespace testsupport {

TestSocks::TestSocks() : TestServer(QStringLiteral("socks")) {}

int TestSocks::port() const { return m_ports.isEmpty() ? 0 : m_ports.first(); }

bool TestSocks::start(const QString& user, const QString& password, QString* error) {
    const QString microsocks = findBinary(QStringLiteral("microsocks"));
    if (microsocks.isEmpty()) {
        if (error) *error = missingBinaryMessage(QStringLiteral("microsocks"));
        return false;
    }
    auto prepare = [&](const QList<int>& ports, Launch* l, QString*) {
        l->program = microsocks;
        // Without -i it would listen on every interface.
        l->arguments =
            QStringList{QStringLiteral("-i"),           QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                        QString::number(ports.first()), QStringLiteral("-b"),        QStringLiteral("127.0.0.1")};
        if (!user.isEmpty()) l->arguments << QStringLiteral("-u") << user << QStringLiteral("-P") << password;
        l->graceMs = 2000;
        return true;
    };
    return launch(QStringLiteral("microsocks"), 1, prepare, error);
}

}  // namespace testsupport
