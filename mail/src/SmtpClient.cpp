#include "mail/SmtpClient.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QSslSocket>
#include <QTcpSocket>

#include "mail/EmailAddress.h"
#include "mail/MimeMessage.h"
#include "MailLogging.h"

Q_LOGGING_CATEGORY(lcSmtp, "feedback.smtp")

namespace {

// A value with CR, LF or NUL would end or split a command line on the wire.
bool breaksCommandLine(const QString& value) {
    return value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n')) || value.contains(QChar(0));
}

// An address goes into "MAIL FROM: <...>" and "RCPT TO:<...>": a control
// character would end or split the line, '<' or '>' would end the path early
// and a blank would start parameters ("RCPT TO:<b@x> SIZE=1>").
bool unsafeEnvelopeAddress(const QString& address) {
    for (const QChar c : address) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c == QLatin1Char(' ') || c == QLatin1Char('<') ||
            c == QLatin1Char('>')) {
            return true;
        }
    }
    return false;
}

bool allAddressesSafe(MimeMessage& email) {
    if (unsafeEnvelopeAddress(email.getSender().getAddress())) return false;
    for (MimeMessage::RecipientType type : {MimeMessage::To, MimeMessage::Cc, MimeMessage::Bcc}) {
        for (const EmailAddress* address : email.getRecipients(type)) {
            if (unsafeEnvelopeAddress(address->getAddress())) return false;
        }
    }
    return true;
}

// The message text as DATA carries it: every line end CRLF (the text may hold
// bare LF or CR), and every line that begins with "." gets a second one, so no
// line of the text can end the data early.
QString dataText(const QString& text) {
    QStringList lines;
    QString line;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines << line;
            line.clear();
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) ++i;
        } else {
            line += c;
        }
    }
    lines << line;
    for (QString& l : lines) {
        if (l.startsWith(QLatin1Char('.'))) l.prepend(QLatin1Char('.'));
    }
    return lines.join(QLatin1String("\r\n"));
}

}  // namespace

SmtpClient::SmtpClient(const QString& host, int port, ConnectionType connectionType) {
    setConnectionType(connectionType);
    this->host = host;
    this->port = port;

    connect(socket, &QAbstractSocket::stateChanged, this, &SmtpClient::socketStateChanged);
    connect(socket, &QAbstractSocket::errorOccurred, this, &SmtpClient::socketError);
    connect(socket, &QIODevice::readyRead, this, &SmtpClient::socketReadyRead);
}

SmtpClient::~SmtpClient() { delete socket; }

const QString& SmtpClient::getHost() const { return host; }

void SmtpClient::setHost(const QString& host) { this->host = host; }

int SmtpClient::getPort() const { return port; }

void SmtpClient::setPort(int port) { this->port = port; }

const QString& SmtpClient::getName() const { return name; }

void SmtpClient::setName(const QString& name) { this->name = name; }

SmtpClient::ConnectionType SmtpClient::getConnectionType() const { return connectionType; }

void SmtpClient::setConnectionType(ConnectionType ct) {
    connectionType = ct;
    delete socket;
    switch (connectionType) {
    case TcpConnection: socket = new QTcpSocket(this); break;
    case SslConnection:
    case TlsConnection: socket = new QSslSocket(this); break;
    }
    // The socket keeps no more than one reply's worth unread; the reply reader
    // takes it all after every wait.
    socket->setReadBufferSize(kMaxReplyBytes);
    replyReader.clear();
}

const QString& SmtpClient::getUser() const { return user; }

void SmtpClient::setUser(const QString& user) { this->user = user; }

const QString& SmtpClient::getPassword() const { return password; }

void SmtpClient::setPassword(const QString& password) { this->password = password; }

SmtpClient::AuthMethod SmtpClient::getAuthMethod() const { return authMethod; }

void SmtpClient::setAuthMethod(AuthMethod method) { authMethod = method; }

bool SmtpClient::isStartTlsRequired() const { return startTlsRequired; }

void SmtpClient::setStartTlsRequired(bool required) { startTlsRequired = required; }

const QString& SmtpClient::getResponseText() const { return responseText; }

int SmtpClient::getResponseCode() const { return responseCode; }

int SmtpClient::getConnectionTimeout() const { return connectionTimeout; }

int SmtpClient::getResponseTimeout() const { return responseTimeout; }

int SmtpClient::getSendMessageTimeout() const { return sendMessageTimeout; }

void SmtpClient::setConnectionTimeout(int msec) { connectionTimeout = msec; }

void SmtpClient::setResponseTimeout(int msec) { responseTimeout = msec; }

void SmtpClient::setSendMessageTimeout(int msec) { sendMessageTimeout = msec; }

QTcpSocket* SmtpClient::getSocket() { return socket; }

bool SmtpClient::connectToHost() {
    if (breaksCommandLine(name)) {
        qCDebug(lcSmtp) << "SmtpClient::connectToHost======invalid EHLO name===========";
        return false;
    }
    if (!openConnection()) return false;
    return runDialogue([this] { return greetServer(); }, [](const char*) {});
}

bool SmtpClient::login() { return login(user, password, authMethod); }

bool SmtpClient::login(const QString& user, const QString& password, AuthMethod method) {
    if (breaksCommandLine(user) || breaksCommandLine(password)) {
        qCDebug(lcSmtp) << "SmtpClient::login======invalid user or password===========";
        emit smtpError(AuthenticationFailedError);
        return false;
    }
    return runDialogue(
        [&] {
            if (authenticate(user, password, method)) return true;
            emit smtpError(AuthenticationFailedError);
            return false;
        },
        // The time-out or length error is already out; the login failed too.
        [this](const char*) { emit smtpError(AuthenticationFailedError); });
}

bool SmtpClient::sendMail(MimeMessage& email) {
    if (!allAddressesSafe(email)) {
        qCDebug(lcSmtp) << "SmtpClient::sendMail======invalid address===========";
        return false;
    }
    return runDialogue(
        [&] { return transferMail(email); },
        [](const char* exception) { qCDebug(lcSmtp, "SmtpClient::sendMail======%s===========", exception); });
}

bool SmtpClient::openConnection() {
    auto* sslSocket = qobject_cast<QSslSocket*>(socket);
    if (connectionType == SslConnection) {
        sslSocket->connectToHostEncrypted(host, static_cast<quint16>(port));
    } else {
        socket->connectToHost(host, static_cast<quint16>(port));
    }
    if (!socket->waitForConnected(connectionTimeout)) {
        emit smtpError(ConnectionTimeoutError);
        return false;
    }
    if (connectionType == SslConnection && !sslSocket->waitForEncrypted(connectionTimeout)) {
        qCDebug(lcSmtp) << sslSocket->errorString();
        emit smtpError(ConnectionTimeoutError);
        return false;
    }
    return true;
}

bool SmtpClient::greetServer() {
    if (!expectSetupReply(220) || !setupCommand(QStringLiteral("EHLO ") + name, 250)) return false;
    if (connectionType != TlsConnection) return true;
    return upgradeToTls();
}

bool SmtpClient::upgradeToTls() {
    sendMessage(QStringLiteral("STARTTLS"));
    if (!replyIs(220)) {
        if (!startTlsRequired) {
            // No TLS here: the dialogue goes on in plain text after the first
            // EHLO, as with a TcpConnection.
            qCDebug(lcSmtp) << "SmtpClient::connectToHost======STARTTLS refused, plain===========" << responseCode;
            return true;
        }
        emit smtpError(ServerError);
        return false;
    }
    return startTls() && setupCommand(QStringLiteral("EHLO ") + name, 250);
}

bool SmtpClient::startTls() {
    // Whatever came after the 220 came in plain text before the handshake:
    // read as the first reply under TLS it would let anyone on the path answer
    // for the server (STARTTLS command injection). A server sends nothing more
    // until the handshake, so any such byte ends the connection.
    if (replyReader.hasBufferedBytes() || socket->bytesAvailable() > 0) {
        qCDebug(lcSmtp) << "SmtpClient::connectToHost======data after the STARTTLS reply===========";
        replyReader.clear();
        socket->abort();
        emit smtpError(ServerError);
        return false;
    }
    auto* sslSocket = qobject_cast<QSslSocket*>(socket);
    sslSocket->startClientEncryption();
    if (!sslSocket->waitForEncrypted(connectionTimeout)) {
        qCDebug(lcSmtp) << sslSocket->errorString();
        // The server expects TLS now and the client no longer trusts the
        // line: nothing more goes over it, least of all in plain text.
        socket->abort();
        emit smtpError(ConnectionTimeoutError);
        return false;
    }
    return true;
}

bool SmtpClient::expectSetupReply(int code) {
    if (replyIs(code)) return true;
    emit smtpError(ServerError);
    return false;
}

bool SmtpClient::setupCommand(const QString& command, int code) {
    sendMessage(command);
    return expectSetupReply(code);
}

bool SmtpClient::authenticate(const QString& user, const QString& password, AuthMethod method) {
    if (method == AuthPlain) {
        QByteArray token;
        token.append('\0').append(user.toUtf8()).append('\0').append(password.toUtf8());
        return exchange(QStringLiteral("AUTH PLAIN ") + QString::fromLatin1(token.toBase64()), 235);
    }
    if (method == AuthLogin) {
        return exchange(QStringLiteral("AUTH LOGIN"), 334) &&
               exchange(QString::fromLatin1(user.toUtf8().toBase64()), 334) &&
               exchange(QString::fromLatin1(password.toUtf8().toBase64()), 235);
    }
    return true;
}

bool SmtpClient::transferMail(MimeMessage& email) {
    sendMessage(QStringLiteral("MAIL FROM: <") + email.getSender().getAddress() + QLatin1Char('>'));
    waitForResponse();
    qCDebug(lcSmtp) << "SmtpClient::sendMail======responseCode===========" << responseCode;
    if (responseCode != 250) return false;

    for (MimeMessage::RecipientType type : {MimeMessage::To, MimeMessage::Cc}) {
        for (const EmailAddress* rcpt : email.getRecipients(type)) {
            if (!exchange(QStringLiteral("RCPT TO:<") + rcpt->getAddress() + QLatin1Char('>'), 250)) return false;
        }
    }
    for (const EmailAddress* rcpt : email.getRecipients(MimeMessage::Bcc)) {
        if (!exchange(QStringLiteral("RCPT TO: <") + rcpt->getAddress() + QLatin1Char('>'), 250)) return false;
    }
    if (!exchange(QStringLiteral("DATA"), 354)) return false;

    sendMessage(dataText(email.toString()));
    return exchange(QStringLiteral("."), 250);
}

bool SmtpClient::replyIs(int code) {
    waitForResponse();
    return responseCode == code;
}

bool SmtpClient::exchange(const QString& command, int code) {
    sendMessage(command);
    return replyIs(code);
}

bool SmtpClient::runDialogue(const std::function<bool()>& steps,
                             const std::function<void(const char* exception)>& afterException) {
    try {
        return steps();
    } catch (const ResponseTimeoutException&) {
        afterException("ResponseTimeoutException");
    } catch (const ResponseTooLongException&) {
        afterException("ResponseTooLongException");
    } catch (const SendMessageTimeoutException&) {
        afterException("SendMessageTimeoutException");
    }
    return false;
}

void SmtpClient::quit() {
    try {
        sendMessage(QStringLiteral("QUIT"));
    } catch (const SendMessageTimeoutException&) {
        const QAbstractSocket::SocketState state = socket->state();
        if (state == QAbstractSocket::HostLookupState || state == QAbstractSocket::ConnectingState ||
            state == QAbstractSocket::ConnectedState) {
            socket->disconnectFromHost();
        }
    }
}

void SmtpClient::waitForResponse() {
    // One deadline for the whole reply, not one per piece: a server that
    // trickles its bytes cannot hold the client longer than the time-out.
    const QDeadlineTimer deadline(responseTimeout);
    replyReader.startReply();
    for (;;) {
        // Always new data first, also when whole lines are buffered.
        if (!socket->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            emit smtpError(ResponseTimeoutError);
            qCDebug(lcSmtp) << "SmtpClient::waitForResponse======ResponseTimeoutError===========";
            throw ResponseTimeoutException();
        }
        replyReader.feed(socket->readAll());
        for (;;) {
            QByteArray line;
            const SmtpReplyReader::Step step = replyReader.next(&line);
            if (step == SmtpReplyReader::TooLong) replyTooLong();
            if (step == SmtpReplyReader::NeedMore) break;
            responseText = QString::fromUtf8(line);
            responseCode = SmtpReplyReader::replyCode(line);
            if (responseCode / 100 == 4) {
                qCDebug(lcSmtp) << "SmtpClient::waitForResponse======ServerError===========";
                emit smtpError(ServerError);
            }
            if (responseCode / 100 == 5) {
                qCDebug(lcSmtp) << "SmtpClient::waitForResponse======ClientError===========";
                emit smtpError(ClientError);
            }
            if (step == SmtpReplyReader::LastLine) return;
        }
    }
}

void SmtpClient::replyTooLong() {
    // Whatever follows belongs to the same overlong reply: the connection is
    // of no further use, and dropping it stops the server's stream.
    qCDebug(lcSmtp) << "SmtpClient::waitForResponse======ResponseTooLong===========";
    replyReader.clear();
    socket->abort();
    emit smtpError(ServerError);
    throw ResponseTooLongException();
}

void SmtpClient::sendMessage(const QString& text) {
    const QByteArray line = text.toUtf8() + "\r\n";
    // Only onto a live connection: a socket dropped after a failed TLS
    // handshake takes no more bytes (writing into it would crash).
    bool written = socket->state() == QAbstractSocket::ConnectedState && socket->write(line) == line.size();
    // Until every byte has left, within one time-out for the whole line.
    QDeadlineTimer deadline(sendMessageTimeout);
    while (written && socket->bytesToWrite() > 0) {
        written = socket->waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
    }
    if (!written) {
        emit smtpError(SendDataTimeoutError);
        qCDebug(lcSmtp) << "SmtpClient::sendMessage======SendDataTimeoutError===========";
        throw SendMessageTimeoutException();
    }
}

void SmtpClient::socketStateChanged(QAbstractSocket::SocketState /*state*/) {}

void SmtpClient::socketError(QAbstractSocket::SocketError /*error*/) {}

void SmtpClient::socketReadyRead() {}
