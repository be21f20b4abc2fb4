#pragma once
// Computes the SHA-1 of the installer file on a thread of its own.
#include <QString>
#include <QThread>

class CGetHashThread : public QThread {
    Q_OBJECT
public:
    explicit CGetHashThread(QObject* parent = nullptr);

    // Remembers the file and the check type and starts the thread.
    void SetFilePath(int checkType, QString path);
    // The lower-case hex SHA-1 of the last run; empty when the file could not be read.
    QString GetHashValue();

signals:
    void SignalCheckFinished(int checkType, QString hashValue);

protected:
    void run() override;

private:
    QString m_strFilePath;
    QString m_strHashValue;
    int m_nCheckType;
};

// True only when both hashes are non-empty and equal ignoring letter case.
bool IsSameHash(const QString& computed, const QString& expected);
