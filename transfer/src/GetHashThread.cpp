#include "transfer/GetHashThread.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include "TransferLogging.h"

CGetHashThread::CGetHashThread(QObject* parent) : QThread(parent), m_nCheckType(0) {}

CGetHashThread::~CGetHashThread() {
    requestInterruption();
    wait();
}

void CGetHashThread::SetFilePath(int checkType, QString path) {
    m_strFilePath = path;
    m_nCheckType = checkType;
    qCDebug(lcTransfer) << "CGetHashThread::SetFilePath ========m_strFilePath=" << m_strFilePath
                        << "===m_nCheckType====" << m_nCheckType;
    start();
}

QString CGetHashThread::GetHashValue() {
    QMutexLocker lock(&m_mutex);
    return m_strHashValue;
}

void CGetHashThread::run() {
    QFile file(m_strFilePath);
    QString value;
    if (file.open(QIODevice::ReadOnly)) {
        // Streamed in blocks (the installer is about 200 MB); a stop request
        // ends it between blocks.
        QCryptographicHash hash(QCryptographicHash::Sha1);
        QByteArray block(1 << 20, Qt::Uninitialized);
        bool complete = false;
        while (!isInterruptionRequested()) {
            const qint64 n = file.read(block.data(), block.size());
            if (n <= 0) {
                complete = n == 0;
                break;
            }
            hash.addData(block.constData(), int(n));
        }
        if (complete) value = QString::fromLatin1(hash.result().toHex());
        file.close();
    }
    {
        QMutexLocker lock(&m_mutex);
        m_strHashValue = value;
    }
    qCDebug(lcTransfer) << "run m_strHashValue =========" << value;
    emit SignalCheckFinished(m_nCheckType, value);
}

bool IsSameHash(const QString& computed, const QString& expected) {
    if (computed.isEmpty() || expected.isEmpty()) return false;
    return computed.compare(expected, Qt::CaseInsensitive) == 0;
}
