#pragma once
// The program's blocking SMTP client. One connection (plain TCP, SSL from the
// first byte, or plain upgraded with STARTTLS), EHLO, AUTH PLAIN or AUTH LOGIN,
// then one message with MAIL FROM, RCPT TO and DATA. Every step writes one
// command line and waits on the calling thread for the whole reply; nothing
// runs in the background and the socket's signals are not relied on.
//
//   SmtpClient client(host, 25, SmtpClient::TcpConnection);
//   client.setUser(user);
//   client.setPassword(password);
//   if (client.connectToHost() && client.login() && client.sendMail(message)) client.quit();
//
// Failures are results (false) plus smtpError signals, emitted synchronously;
// the client's exceptions never leave it. Every reply is bounded: it must be
// whole within the response time-out (one deadline for all its lines, however
// slowly its bytes come), a line is at most kMaxReplyLineBytes and the reply at
// most kMaxReplyBytes; a longer one is a ServerError and drops the connection.
// A reply's last line is "NNN text" or the code alone ("NNN").
// The EHLO name, the user and the password must not hold CR, LF or NUL, and an
// address no control character, blank, '<' or '>': such a value is refused
// before anything is sent.
#include <QAbstractSocket>
#include <QObject>
#include <QString>

#include <functional>

#include "SmtpReplyReader.h"

class MimeMessage;
class QTcpSocket;

class SmtpClient : public QObject {
    Q_OBJECT
public:
    // Fixed to int: login() takes any other value too (and sends nothing).
    enum AuthMethod : int { AuthPlain, AuthLogin };
    Q_ENUM(AuthMethod)

    enum SmtpError {
        ConnectionTimeoutError,     // no connection in time, or the TLS handshake failed
        ResponseTimeoutError,       // no reply data in time
        SendDataTimeoutError,       // written data did not leave in time
        AuthenticationFailedError,  // the AUTH exchange did not end with 235
        ServerError,                // a 4xx reply, or an unexpected reply while connecting
        ClientError                 // a 5xx reply
    };
    Q_ENUM(SmtpError)

    enum ConnectionType { TcpConnection, SslConnection, TlsConnection };
    Q_ENUM(ConnectionType)

    // Thrown and caught inside the client.
    class ResponseTimeoutException {};
    class SendMessageTimeoutException {};
    // A reply line or a whole reply beyond its limit.
    class ResponseTooLongException {};

    // Limits of one reply, line ends included.
    static constexpr int kMaxReplyLineBytes = SmtpReplyReader::kMaxLineBytes;
    static constexpr int kMaxReplyBytes = SmtpReplyReader::kMaxReplyBytes;

    explicit SmtpClient(const QString& host = QStringLiteral("localhost"), int port = 25,
                        ConnectionType ct = TcpConnection);
    ~SmtpClient() override;

    const QString& getHost() const;
    void setHost(const QString& host);
    int getPort() const;
    void setPort(int port);
    const QString& getName() const;
    // The name sent with EHLO ("localhost" unless set).
    void setName(const QString& name);
    ConnectionType getConnectionType() const;
    // Replaces the socket: a QTcpSocket for TcpConnection, a QSslSocket for the
    // other two.
    void setConnectionType(ConnectionType ct);
    const QString& getUser() const;
    void setUser(const QString& user);
    const QString& getPassword() const;
    void setPassword(const QString& password);
    SmtpClient::AuthMethod getAuthMethod() const;
    void setAuthMethod(AuthMethod method);
    // TlsConnection only. Required (the default): a reply other than 220 to
    // STARTTLS fails the connection. Not required: such a reply goes on in
    // plain text, for servers that have no TLS. Either way, once the server
    // has agreed (220), a failed handshake fails the connection: it never goes
    // on in plain text.
    bool isStartTlsRequired() const;
    void setStartTlsRequired(bool required);
    // The last reply line read (line end included) and its code.
    const QString& getResponseText() const;
    int getResponseCode() const;
    // Milliseconds: connection and TLS handshake (5000), one whole reply
    // (50000), written data leaving (60000).
    int getConnectionTimeout() const;
    int getResponseTimeout() const;
    int getSendMessageTimeout() const;
    void setConnectionTimeout(int msec);
    void setResponseTimeout(int msec);
    void setSendMessageTimeout(int msec);
    QTcpSocket* getSocket();

    // Connects and greets the server (STARTTLS for TlsConnection).
    bool connectToHost();
    // Authenticates with the stored user, password and method.
    bool login();
    // Authenticates with these values; the stored ones stay as they are.
    bool login(const QString& user, const QString& password, AuthMethod method = AuthPlain);
    // Sends one message: MAIL FROM, RCPT TO for To, Cc and Bcc, DATA.
    bool sendMail(MimeMessage& email);
    // Sends "QUIT" without waiting for the reply.
    void quit();

signals:
    void smtpError(SmtpClient::SmtpError e);

protected slots:
    void socketStateChanged(QAbstractSocket::SocketState state);
    void socketError(QAbstractSocket::SocketError error);
    void socketReadyRead();

protected:
    // Reads one whole reply; throws ResponseTimeoutException or
    // ResponseTooLongException.
    void waitForResponse();
    // Writes one command line; throws SendMessageTimeoutException.
    void sendMessage(const QString& text);

    QTcpSocket* socket = nullptr;

    QString host;
    int port = 25;
    ConnectionType connectionType = TcpConnection;
    QString name = QStringLiteral("localhost");

    QString user;
    QString password;
    AuthMethod authMethod = AuthPlain;

    int connectionTimeout = 5000;
    int responseTimeout = 50000;
    int sendMessageTimeout = 60000;
    bool startTlsRequired = true;

    QString responseText;
    int responseCode = 0;

private:
    // The steps of connectToHost: the connection (and the SSL handshake), the
    // greeting and EHLO (and the STARTTLS upgrade with its second EHLO).
    bool openConnection();
    bool greetServer();
    // STARTTLS and the handshake (true), or a refusal that may go on in
    // plain text (true, still plain); false otherwise.
    bool upgradeToTls();
    // The TLS handshake after the 220 to STARTTLS; refuses bytes that came
    // with or after that 220. A failed handshake drops the connection.
    bool startTls();
    // Reads a reply of connection set-up; another code than `code` emits
    // ServerError and is false.
    bool expectSetupReply(int code);
    // Sends a command of connection set-up and checks its reply so.
    bool setupCommand(const QString& command, int code);
    // The AUTH exchange of login; false at the first unexpected reply.
    bool authenticate(const QString& user, const QString& password, AuthMethod method);
    // MAIL FROM, RCPT TO, DATA and the message; false at the first unexpected
    // reply.
    bool transferMail(MimeMessage& email);
    // Reads one reply: is its code `code`?
    bool replyIs(int code);
    // Sends one command and reads its reply: is its code `code`?
    bool exchange(const QString& command, int code);
    // Runs one dialogue; a time-out or an overlong reply (reported where it
    // arose) makes it false, after `afterException` with the exception's name.
    bool runDialogue(const std::function<bool()>& steps,
                     const std::function<void(const char* exception)>& afterException);

    // Drops the connection, emits ServerError and throws
    // ResponseTooLongException.
    [[noreturn]] void replyTooLong();

    // Bytes read from the socket and not yet taken as reply lines.
    SmtpReplyReader replyReader;
};
