#pragma once
// A scripted SMTP server on 127.0.0.1 for wire-exact tests: one connection,
// played by a script that runs on the server's own thread (the client under
// test blocks the test's thread). The script sends exactly the bytes it is
// given, in the pieces it is given, and reads the client's lines; every line
// received is kept in order. With a certificate and key set, a script can
// turn the connection into TLS as a server (the STARTTLS upgrade).
//
//   ScriptedSmtpServer server;
//   server.start([](ScriptedSmtpServer::Session& s) {
//       s.send("220 ready\r\n");
//       s.expect("EHLO localhost", "250 ok\r\n");
//   });
//   ... client talks to 127.0.0.1:server.port() ...
//   server.finish();  // waits for the script; server.lines() holds what came
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

#include <functional>
#include <memory>
#include <thread>

class QSslSocket;

class ScriptedSmtpServer {
public:
    class Session {
    public:
        explicit Session(QSslSocket* socket, ScriptedSmtpServer* server);
        // Writes these bytes at once.
        void send(const QByteArray& bytes);
        // The next line from the client without its CRLF; empty when the
        // client closed or sent nothing within 10 s.
        QByteArray readLine();
        // Reads one line; when it is `line`, answers `reply`. Otherwise the
        // script stops (the mismatch shows in lines()).
        bool expect(const QByteArray& line, const QByteArray& reply);
        // Reads the DATA lines up to the lone "." and returns them, raw (still
        // dot-stuffed), joined with CRLF.
        QByteArray readData();
        // Waits until the client closes the connection (at most 10 s).
        void waitForClose();
        // Pauses the script.
        void pause(int ms);
        // Sends the bytes one at a time, `intervalMs` apart; false as soon as
        // the client has closed the connection.
        bool drip(const QByteArray& bytes, int intervalMs);
        // Sends `chunk` again and again until the client closes the connection
        // (or stops reading for 10 s) or `limit` bytes are out; returns the
        // bytes that went out.
        qint64 stream(const QByteArray& chunk, qint64 limit);
        // Starts TLS as the server with the server's certificate and waits
        // for the handshake (at most 10 s); false when it did not complete.
        // Bytes of the client that came before stay readable.
        bool startTls();

    private:
        QSslSocket* m_socket;
        ScriptedSmtpServer* m_server;
    };
    using Script = std::function<void(Session&)>;

    ScriptedSmtpServer();
    ~ScriptedSmtpServer();

    // The identity startTls() presents; set before start().
    void setTlsIdentity(const QSslCertificate& certificate, const QSslKey& key);

    // Listens and runs the script for the first connection; false when it
    // cannot listen.
    bool start(Script script);
    int port() const { return m_port; }
    // Waits for the script to end.
    void finish();
    QList<QByteArray> lines() const;

private:
    void record(const QByteArray& line);

    int m_port = 0;
    QSslCertificate m_certificate;
    QSslKey m_key;
    std::unique_ptr<std::thread> m_thread;
    mutable QMutex m_mutex;
    QList<QByteArray> m_lines;
};
