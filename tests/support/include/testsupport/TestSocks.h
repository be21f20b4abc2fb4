#pragma once
// A real SOCKS5 proxy (microsocks) on 127.0.0.1 for tests, with or without user
// name and password. It listens on 127.0.0.1 only and binds its outgoing
// connections to 127.0.0.1, so it reaches loopback addresses and nothing else.
//
//   TestSocks socks;
//   QVERIFY2(socks.start("user", "secret", &error), qPrintable(error));
//   QNetworkProxy proxy(QNetworkProxy::Socks5Proxy, "127.0.0.1", socks.port(), "user", "secret");
#include "testsupport/TestServer.h"

#include <QString>

namespace testsupport {

class TestSocks : public TestServer {
public:
    TestSocks();

    // Empty user: no authentication; otherwise user name/password (RFC 1929)
    // are required.
    bool start(const QString& user = QString(), const QString& password = QString(), QString* error = nullptr);
    bool start(QString* error) { return start(QString(), QString(), error); }

    int port() const;
};

}  // namespace testsupport
