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

namespace mailtest {

struct ParsedPart {
    QString type;
    QString fileName;
    QString disposition;
    QByteArray payload;  // decoded
};

struct ParsedMail {
    bool ok = false;
    QString error;
    QMap<QString, QString> headers;  // decoded header values by name
    QList<ParsedPart> parts;         // leaf parts in order
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
    for (const QJsonValue& value : root.value(QStringLiteral("parts")).toArray()) {
        const QJsonObject part = value.toObject();
        parsed.parts << ParsedPart{
            part.value(QStringLiteral("type")).toString(), part.value(QStringLiteral("filename")).toString(),
            part.value(QStringLiteral("disposition")).toString(),
            QByteArray::fromHex(part.value(QStringLiteral("payload_hex")).toString().toLatin1())};
    }
    parsed.contentType = root.value(QStringLiteral("content_type")).toString();
    for (const QJsonValue& d : root.value(QStringLiteral("defects")).toArray()) parsed.defects << d.toString();
    parsed.ok = true;
    return parsed;
}

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
