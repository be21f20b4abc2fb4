#include "mail/EmailAccountFile.h"

#include <QDebug>
#include <QDomDocument>
#include <QFile>

#include "toolkit/ZnBoundedXml.h"
#include "MailLogging.h"

namespace {

QString fieldText(const QDomNodeList& fields, int index) { return fields.at(index).toElement().text(); }

}  // namespace

QByteArray DecodeEmailFile(const QByteArray& fileBytes) {
    QByteArray text = fileBytes;
    text.remove(4, 3);
    return QByteArray::fromBase64(text);
}

bool ReadEmailAccount(const QString& path, SEmailAccount& account, SEmailAccountLog log) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return false;
    // The file comes from a server: its size and depth are bounded before and
    // after the Base64 step alike.
    QByteArray scrambled;
    QDomDocument document;
    ZnBoundedXml::Error error;
    const bool parsed = ZnBoundedXml::readAll(file, scrambled, &error) &&
                        ZnBoundedXml::parse(DecodeEmailFile(scrambled), document, &error);
    file.close();
    if (!parsed) {
        if (log.bParseErrors) ZnBoundedXml::logError(error);
        return false;
    }

    bool found = false;
    const QDomElement root = document.documentElement();
    for (QDomElement email = root.firstChildElement(QStringLiteral("Email")); !email.isNull();
         email = email.nextSiblingElement(QStringLiteral("Email"))) {
        if (!email.hasChildNodes()) continue;
        for (QDomElement type = email.firstChildElement(QStringLiteral("emailType")); !type.isNull();
             type = type.nextSiblingElement(QStringLiteral("emailType"))) {
            const QDomNodeList fields = type.childNodes();
            if (log.bEntries) qCDebug(lcMail) << "childCount=======================" << fields.count();
            if (fields.count() != 3) continue;
            const QString pid = fieldText(fields, 0);
            if (log.bEntries) {
                qCDebug(lcMail) << "childElement=======================" << type.tagName();
                qCDebug(lcMail) << "strPid=========" << pid;
            }
            if (pid != QLatin1String("P00")) continue;
            // Every matching entry replaces the one before: the last one wins.
            account.strUser = fieldText(fields, 1);
            account.strPassword = fieldText(fields, 2);
            found = true;
        }
    }
    return found;
}
