#pragma once
// Computes the SHA-1 of the installer file on a thread of its own.
#include <QMutex>
#include <QString>
#include <QThread>

class CGetHashThread : public QThread {
    Q_OBJECT
public:
    explicit CGetHashThread(QObject* parent = nullptr);
    // Asks a running hash to stop and waits for the thread: it never outlives
    // its object (a QThread destroyed while running ends the program), also
    // when its owner goes right after the result arrived.
    ~CGetHashThread() override;

    // Remembers the file and the check type and starts the thread.
    void SetFilePath(int checkType, QString path);
    // The lower-case hex SHA-1 of the last run; empty when the file could not be
    // read (or the run was stopped).
    QString GetHashValue();

signals:
    void SignalCheckFinished(int checkType, QString hashValue);

protected:
    void run() override;

private:
    QString m_strFilePath;
    QString m_strHashValue;  // written by the thread, read by its owner: under m_mutex
    int m_nCheckType;
    QMutex m_mutex;
};

// True only when both hashes are non-empty and equal ignoring letter case.
bool IsSameHash(const QString& computed, const QString& expected);
