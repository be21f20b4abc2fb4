#pragma once
// Helpers of the mail tests: a whole mail parsed back by Python's email
// package, and the mail-account file in the scrambled form the product stores.
#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace mailtest {

struct ParsedPart {
    QString type;
    QString fileName;
    QString fileNameStrict;  // as Python's current (stricter) policy reads it
    QString disposition;
    QByteArray payload;  // decoded
};

struct ParsedMail {
    bool ok = false;
    QString error;
    QMap<QString, QString> headers;        // decoded header values by name
    QMap<QString, QString> strictHeaders;  // the same, as the current policy reads them
    QList<ParsedPart> parts;               // leaf parts in order
    QString contentType;
    QStringList defects;  // what the parser found wrong
};

inline ParsedMail parseMail(const QByteArray& mail) {
    ParsedMail parsed;
    QTemporaryDir dir;
    const QString in = dir.path() + QStringLiteral("/mail.eml");
    const QString out = dir.path() + QStringLiteral("/mail.json");
    QFile file(in);
    if (!file.open(QIODevice::WriteOnly)) return parsed;
    file.write(mail);
    file.close();
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(ZN_MAIL_TEST_SUPPORT_DIR "/parse_mail.py"), in, out});
    if (!python.waitForFinished(30000) || python.exitCode() != 0) {
        parsed.error = QString::fromLocal8Bit(python.readAllStandardError());
        return parsed;
    }
    QFile result(out);
    if (!result.open(QIODevice::ReadOnly)) return parsed;
    const QJsonObject root = QJsonDocument::fromJson(result.readAll()).object();
    const QJsonObject headers = root.value(QStringLiteral("headers")).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it) parsed.headers.insert(it.key(), it.value().toString());
    const QJsonObject strict = root.value(QStringLiteral("strict_headers")).toObject();
    for (auto it = strict.begin(); it != strict.end(); ++it)
        parsed.strictHeaders.insert(it.key(), it.value().toString());
    for (const QJsonValue& value : root.value(QStringLiteral("parts")).toArray()) {
        const QJsonObject part = value.toObject();
        parsed.parts << ParsedPart{
            part.value(QStringLiteral("type")).toString(), part.value(QStringLiteral("filename")).toString(),
            part.value(QStringLiteral("filename_strict")).toString(),
            part.value(QStringLiteral("disposition")).toString(),
            QByteArray::fromHex(part.value(QStringLiteral("payload_hex")).toString().toLatin1())};
    }
    parsed.contentType = root.value(QStringLiteral("content_type")).toString();
    for (const QJsonValue& d : root.value(QStringLiteral("defects")).toArray()) parsed.defects << d.toString();
    parsed.ok = true;
    return parsed;
}

// A port on 127.0.0.1 that refuses every connection for as long as this
// object lives: a socket bound to it that never listens, so no other program
// can take the port meanwhile (a port merely freed could be).
class RefusingPort {
public:
    RefusingPort() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        m_port = ntohs(address.sin_port);
    }
    ~RefusingPort() {
        if (m_fd >= 0) ::close(m_fd);
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    // 0 when no port could be bound.
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

// The account file as the product stores it: Base64 of the XML with three
// extra bytes after the first four.
inline QByteArray scrambleAccountFile(const QByteArray& xml) {
    QByteArray text = xml.toBase64();
    text.insert(4, "Zn7");
    return text;
}

inline QByteArray accountEntry(const QByteArray& pid, const QByteArray& user, const QByteArray& password) {
    return "<emailType><pid>" + pid + "</pid><user>" + user + "</user><password>" + password +
           "</password></emailType>";
}

inline QByteArray accountFile(const QByteArray& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<EmailConfig><Email>" + entries + "</Email></EmailConfig>\n";
}

}  // namespace mailtest
