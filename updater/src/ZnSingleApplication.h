#pragma once
// A QApplication that knows whether another instance of the same program
// runs, and lets a later instance send the running one a text message.
//
//   ZnSingleApplication app(argc, argv);
//   if (app.isRunning()) { app.sendMessage("active", 5000); return 0; }
//   connect(&app, &ZnSingleApplication::messageReceived, ...);
//
// The instance that holds an exclusive lock on "<id>.lock" in the user's
// runtime folder (see platform/InstanceLock.h) is the running one; it listens
// on the local socket "<id>.socket" beside it. The id is made from the
// program's full path. The lock is taken atomically, so of two instances
// started at once exactly one runs; it goes with its holder however that
// ends, so a socket file left by a killed instance is removed by the next one
// to run and blocks nothing.
#include <QApplication>
#include <QString>

class QLocalServer;

class ZnSingleApplication : public QApplication {
    Q_OBJECT
public:
    ZnSingleApplication(int& argc, char** argv, bool guiEnabled = true);
    ~ZnSingleApplication() override;

    // True when another instance held the lock at construction.
    bool isRunning() const;
    // Sends `message` to the running instance, waiting up to `timeout` ms for
    // it to be delivered. False when there is no running instance or it could
    // not be reached in time.
    bool sendMessage(const QString& message, int timeout = 5000);
    // The id shared by all instances of this program.
    QString id() const { return m_strId; }

signals:
    void messageReceived(const QString& message);

private:
    void startServer();
    void acceptConnection();

    QString m_strId;
    QString m_strSocketPath;
    int m_nLockHandle = -1;
    bool m_bRunning = false;
    QLocalServer* m_pServer = nullptr;
};
