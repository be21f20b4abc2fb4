#include "GetHashThread.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>

CGetHashThread::CGetHashThread(QObject* parent) : QThread(parent), m_nCheckType(0) {}

void CGetHashThread::SetFilePath(int checkType, QString path) {
    m_strFilePath = path;
    m_nCheckType = checkType;
    qDebug() << "CGetHashThread::SetFilePath ========m_strFilePath=" << m_strFilePath
             << "===m_nCheckType====" << m_nCheckType;
    start();
}

QString CGetHashThread::GetHashValue() { return m_strHashValue; }

void CGetHashThread::run() {
    QFile file(m_strFilePath);
    QString value;
    if (file.open(QIODevice::ReadOnly)) {
        // Streamed in blocks: the installer is about 200 MB.
        QCryptographicHash hash(QCryptographicHash::Sha1);
        if (hash.addData(&file)) value = QString::fromLatin1(hash.result().toHex());
        file.close();
    }
    m_strHashValue = value;
    qDebug() << "run m_strHashValue =========" << m_strHashValue;
    emit SignalCheckFinished(m_nCheckType, m_strHashValue);
}

bool IsSameHash(const QString& computed, const QString& expected) {
    if (computed.isEmpty() || expected.isEmpty()) return false;
    return computed.compare(expected, Qt::CaseInsensitive) == 0;
}
