// The MIME message model: exact part texts, the two content codings and their
// folding, encoded header words, the message's header lines, and whole mails
// read back by Python's email package.
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "mail/EmailAddress.h"
#include "mail/MimeAttachment.h"
#include "mail/MimeContentFormatter.h"
#include "mail/MimeFile.h"
#include "mail/MimeHtml.h"
#include "mail/MimeInlineFile.h"
#include "mail/MimeMessage.h"
#include "mail/MimeMultiPart.h"
#include "mail/MimeText.h"
#include "mail/QuotedPrintable.h"
#include "support/MailTestSupport.h"

namespace {

QString boundaryOf(const QString& partText) {
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("boundary=([0-9a-f]{32})\r\n")).match(partText);
    return m.captured(1);
}

QByteArray allBytes(int repeat) {
    QByteArray bytes;
    for (int r = 0; r < repeat; ++r)
        for (int i = 0; i < 256; ++i) bytes.append(static_cast<char>(i));
    return bytes;
}

// The header block of a message text (up to the first empty line).
QStringList headerNames(const QString& text) {
    QStringList names;
    for (const QString& line : text.left(text.indexOf(QStringLiteral("\r\n\r\n"))).split(QStringLiteral("\r\n")))
        names << line.section(QLatin1Char(':'), 0, 0);
    return names;
}

// A whole mail's lines, each without its CRLF. False, with the line in `bad`,
// when a line does not end with CRLF or holds another CR.
bool crlfLines(const QByteArray& mail, QList<QByteArray>* lines, QByteArray* bad) {
    for (const QByteArray& line : mail.split('\n')) {
        const QByteArray bare = line.left(line.size() - 1);
        if (!(line.isEmpty() || line.endsWith('\r')) || bare.contains('\r')) {
            *bad = line;
            return false;
        }
        *lines << bare;
    }
    return true;
}

// The names of a whole mail's header lines, the message's and each part's,
// from its lines without their CRLF; continuation lines are left out.
QStringList headerLineNames(const QList<QByteArray>& lines) {
    QStringList names;
    bool inHeader = true;
    for (const QByteArray& bare : lines) {
        if (bare.isEmpty()) {
            inHeader = false;
        } else if (bare.startsWith("--")) {
            inHeader = true;
        } else if (inHeader && bare.at(0) != ' ') {
            names << QString::fromLatin1(bare.left(bare.indexOf(':')));
        }
    }
    return names;
}

}  // namespace

class TestMime : public QObject {
    Q_OBJECT

private slots:
    void textAndHtmlParts() {
        MimeText text(QStringLiteral("Café"));
        QCOMPARE(text.toString().toUtf8(), QByteArray("Content-Type: text/plain; charset=utf-8\r\n"
                                                      "Content-Transfer-Encoding: 8bit\r\n"
                                                      "\r\n"
                                                      "Caf\xc3\xa9\r\n"));
        MimeHtml html(QStringLiteral("<b>x</b>"));
        QCOMPARE(html.toString(), QStringLiteral("Content-Type: text/html; charset=utf-8\r\n"
                                                 "Content-Transfer-Encoding: 8bit\r\n"
                                                 "\r\n"
                                                 "<b>x</b>\r\n"));
        QCOMPARE(html.getHtml(), QStringLiteral("<b>x</b>"));

        // Content id and extra header lines, in their places.
        MimeText withId(QStringLiteral("a"));
        withId.setContentId(QStringLiteral("part1@x"));
        withId.addHeaderLine(QStringLiteral("X-Extra: 1"));
        QCOMPARE(withId.toString(), QStringLiteral("Content-Type: text/plain; charset=utf-8\r\n"
                                                   "Content-Transfer-Encoding: 8bit\r\n"
                                                   "Content-ID: <part1@x>\r\n"
                                                   "X-Extra: 1\r\n"
                                                   "\r\n"
                                                   "a\r\n"));
    }

    // Prepared once: later changes show only after prepare runs again.
    void partTextIsCached() {
        MimeText text(QStringLiteral("first"));
        QVERIFY(text.toString().contains(QStringLiteral("first")));
        text.setText(QStringLiteral("second"));
        QVERIFY(text.toString().contains(QStringLiteral("first")));
        text.prepare();
        QVERIFY(text.toString().contains(QStringLiteral("second")));
    }

    void transferEncodings_data() {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("7bit ascii") << int(MimePart::_7Bit) << QByteArray("plain text") << "7bit\r\n\r\nplain text\r\n";
        QTest::newRow("7bit beyond latin-1")
            << int(MimePart::_7Bit) << QByteArray("a \xe4\xb8\xad b") << "7bit\r\n\r\na ? b\r\n";
        QTest::newRow("8bit") << int(MimePart::_8Bit) << QByteArray("a \xe4\xb8\xad b")
                              << QString::fromUtf8("8bit\r\n\r\na \xe4\xb8\xad b\r\n");
        QTest::newRow("base64") << int(MimePart::Base64) << QByteArray("hello") << "base64\r\n\r\naGVsbG8=\r\n";
        QTest::newRow("quoted-printable") << int(MimePart::QuotedPrintable) << QByteArray("a=b\r\n\xff")
                                          << "quoted-printable\r\n\r\na=3Db=0D=0A=FF\r\n";
    }
    void transferEncodings() {
        QFETCH(int, encoding);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        MimePart part;
        part.setContentType(QStringLiteral("application/x-test"));
        part.setEncoding(static_cast<MimePart::Encoding>(encoding));
        part.setContent(content);
        QCOMPARE(part.toString(),
                 QStringLiteral("Content-Type: application/x-test\r\nContent-Transfer-Encoding: ") + expected);
    }

    // 100 bytes give 136 Base64 characters: one line of 76 and one of 60.
    void attachmentFoldsItsBase64AndSaysItOnce() {
        const QByteArray bytes = allBytes(1).left(100);
        MimeAttachment attachment(bytes, QStringLiteral("dump.bin"));
        const QString base64 = QString::fromLatin1(bytes.toBase64());
        QCOMPARE(base64.size(), 136);
        const QString expected = QStringLiteral(
                                     "Content-Type: application/octet-stream; name=\"dump.bin\"\r\n"
                                     "Content-Transfer-Encoding: base64\r\n"
                                     "Content-disposition: attachment\r\n"
                                     "\r\n") +
                                 base64.left(76) + QStringLiteral("\r\n") + base64.mid(76) + QStringLiteral("\r\n");
        QCOMPARE(attachment.toString(), expected);
        // Prepared again (as every multipart does with its parts): the same text.
        attachment.prepare();
        attachment.prepare();
        QCOMPARE(attachment.toString(), expected);
        QCOMPARE(attachment.getHeader(), QStringLiteral("Content-disposition: attachment\r\n"));
    }

    void filePartsReadTheirFileWhenPrepared() {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/photo.png");
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("PNGDATA");
        out.close();

        MimeInlineFile inlineFile(new QFile(path));
        inlineFile.setContentId(QStringLiteral("img1"));
        const QString expected = QStringLiteral(
            "Content-Type: application/octet-stream; name=\"photo.png\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-ID: <img1>\r\n"
            "Content-Disposition: inline\r\n"
            "\r\n"
            "UE5HREFUQQ==\r\n");
        QCOMPARE(inlineFile.toString(), expected);
        inlineFile.prepare();
        QCOMPARE(inlineFile.toString(), expected);

        // A file that cannot be read gives an empty part.
        MimeFile missing(new QFile(dir.path() + QStringLiteral("/gone.txt")));
        QCOMPARE(missing.toString(), QStringLiteral("Content-Type: application/octet-stream; name=\"gone.txt\"\r\n"
                                                    "Content-Transfer-Encoding: base64\r\n"
                                                    "\r\n"
                                                    "\r\n"));
    }

    void multipartJoinsItsParts() {
        MimeText text(QStringLiteral("hi"));
        MimeAttachment file(QByteArray("abc"), QStringLiteral("a.log"));
        MimeMultiPart multi(MimeMultiPart::Mixed);
        multi.addPart(&text);
        multi.addPart(&file);
        const QString result = multi.toString();
        const QString b = boundaryOf(result);
        QCOMPARE(b.size(), 32);
        QCOMPARE(result, QStringLiteral("Content-Type: multipart/mixed; boundary=%1\r\n"
                                        "Content-Transfer-Encoding: 8bit\r\n"
                                        "\r\n"
                                        "--%1\r\n"
                                        "Content-Type: text/plain; charset=utf-8\r\n"
                                        "Content-Transfer-Encoding: 8bit\r\n"
                                        "\r\n"
                                        "hi\r\n"
                                        "--%1\r\n"
                                        "Content-Type: application/octet-stream; name=\"a.log\"\r\n"
                                        "Content-Transfer-Encoding: base64\r\n"
                                        "Content-disposition: attachment\r\n"
                                        "\r\n"
                                        "YWJj\r\n"
                                        "--%1--\r\n"
                                        "\r\n")
                             .arg(b));
        // Preparing the multipart again prepares its parts again: same text.
        multi.prepare();
        QCOMPARE(multi.toString(), result);

        MimeMultiPart empty(MimeMultiPart::Alternative);
        QCOMPARE(empty.toString(), QStringLiteral("Content-Type: multipart/alternative; boundary=%1\r\n"
                                                  "Content-Transfer-Encoding: 8bit\r\n\r\n--%1--\r\n\r\n")
                                       .arg(boundaryOf(empty.toString())));
    }

    void multipartTypes() {
        const char* names[] = {"mixed", "digest", "alternative", "related", "report", "signed", "encrypted"};
        MimeMultiPart multi;
        QCOMPARE(multi.getMimeType(), MimeMultiPart::Related);
        for (int t = 0; t < 7; ++t) {
            multi.setMimeType(static_cast<MimeMultiPart::MultiPartType>(t));
            QCOMPARE(multi.getContentType(), QStringLiteral("multipart/") + QLatin1String(names[t]));
        }
    }

    void quotedPrintableCoding() {
        QCOMPARE(encodeQuotedPrintable(QByteArray("a=b\r\n")), QStringLiteral("a=3Db=0D=0A"));
        // Blank and printable ASCII stay, everything else is escaped; a blank
        // at the end stays too.
        QCOMPARE(encodeQuotedPrintable(QByteArray("~ !\t\x7f\x80\x00 ", 8)), QStringLiteral("~ !=09=7F=80=00 "));
        const QByteArray bytes = allBytes(2);
        QCOMPARE(decodeQuotedPrintable(encodeQuotedPrintable(bytes)), bytes);
        QCOMPARE(decodeQuotedPrintable(QStringLiteral("x=3D=C3=A9y")), QByteArray("x=\xc3\xa9y"));
    }

    void folding_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("quotedPrintable");
        QTest::addColumn<QString>("expected");
        const QString a80(80, QLatin1Char('a'));
        QTest::newRow("plain 80") << a80 << false << QString(76, 'a') + "\r\naaaa";
        QTest::newRow("plain 76") << QString(76, 'a') << false << QString(76, 'a');
        QTest::newRow("qp 80") << a80 << true << QString(75, 'a') + "=\r\naaaaa";
        QTest::newRow("qp escape not split") << QString(73, 'a') + "=3Db" << true << QString(73, 'a') + "=\r\n=3Db";
        QTest::newRow("qp escape fits") << QString(72, 'a') + "=3Db" << true << QString(72, 'a') + "=3D=\r\nb";
        QTest::newRow("qp line feed restarts")
            << QString(70, 'a') + "\n" + QString(10, 'b') << true << QString(70, 'a') + "\n" + QString(10, 'b');
    }
    void folding() {
        QFETCH(QString, input);
        QFETCH(bool, quotedPrintable);
        QFETCH(QString, expected);
        MimeContentFormatter formatter;
        QCOMPARE(formatter.getMaxLength(), 76);
        QCOMPARE(formatter.format(input, quotedPrintable), expected);
        for (QString line : formatter.format(input, quotedPrintable).split(QLatin1Char('\n'))) {
            if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
            QVERIFY(line.size() <= 76);
        }
    }

    void headerEncodings_data() {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("subject");
        QTest::newRow("base64") << int(MimePart::Base64) << "From: =?utf-8?B?Wm/Dqw==?= <zoe@x.example>"
                                << "Subject: =?utf-8?B?UmU6IMOp?=";
        QTest::newRow("quoted-printable")
            << int(MimePart::QuotedPrintable) << "From: =?utf-8?Q?Zo=C3=AB?= <zoe@x.example>"
            << "Subject: =?utf-8?Q?Re=3A_=C3=A9?=";
        // The default: plain only for plain ASCII, else Q-encoded words.
        QTest::newRow("8bit") << int(MimePart::_8Bit) << "From: =?utf-8?Q?Zo=C3=AB?= <zoe@x.example>"
                              << "Subject: =?utf-8?Q?Re=3A_=C3=A9?=";
    }
    void headerEncodings() {
        QFETCH(int, encoding);
        QFETCH(QString, from);
        QFETCH(QString, subject);
        MimeMessage message;
        message.setHeaderEncoding(static_cast<MimePart::Encoding>(encoding));
        message.setSender(new EmailAddress(QStringLiteral("zoe@x.example"), QString::fromUtf8("Zoë")));
        message.setSubject(QString::fromUtf8("Re: é"));
        const QStringList lines = message.toString().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.at(0), from);
        QCOMPARE(lines.at(2), subject);
    }

    void messageHeaderLines() {
        MimeMessage message;
        // A name with specials ("@", ".") is written as an encoded word.
        message.setSender(new EmailAddress(QStringLiteral("me@x.example"), QStringLiteral("me@x.example")));
        message.addRecipient(new EmailAddress(QStringLiteral("a@x.example"), QStringLiteral("A")));
        message.addRecipient(new EmailAddress(QStringLiteral("b@x.example")));
        message.addRecipient(new EmailAddress(QStringLiteral("c@x.example"), QStringLiteral("C")), MimeMessage::Cc);
        message.addRecipient(new EmailAddress(QStringLiteral("hidden@x.example")), MimeMessage::Bcc);
        EmailAddress replyTo(QStringLiteral("r@x.example"), QStringLiteral("R"));
        message.setReplyTo(&replyTo);
        message.setSubject(QStringLiteral("Hello"));
        message.setInReplyTo(QStringLiteral("id1@x.example"));
        MimeText text(QStringLiteral("body"));
        message.addPart(&text);

        const QString mail = message.toString();
        QCOMPARE(headerNames(mail),
                 QStringList({"From", "To", "Cc", "Subject", "Reply-To", "MIME-Version", "In-Reply-To", "References",
                              "Date", "Content-Type", "Content-Transfer-Encoding"}));
        QVERIFY(
            mail.startsWith(QStringLiteral("From: =?utf-8?Q?me=40x=2Eexample?= <me@x.example>\r\n"
                                           "To: A <a@x.example>, <b@x.example>\r\n"
                                           "Cc: C <c@x.example>\r\n"
                                           "Subject: Hello\r\n"
                                           "Reply-To:  R <r@x.example>\r\n"
                                           "MIME-Version: 1.0\r\n"
                                           "In-Reply-To: <id1@x.example>\r\n"
                                           "References: <id1@x.example>\r\n"
                                           "Date: ")));
        QVERIFY(!mail.contains(QStringLiteral("hidden")));
        const QString date = mail.section(QStringLiteral("Date: "), 1).section(QStringLiteral("\r\n"), 0, 0);
        QVERIFY2(QDateTime::fromString(date, Qt::RFC2822Date).isValid(), qPrintable(date));
        QCOMPARE(message.getRecipients(MimeMessage::Bcc).size(), 1);
        QCOMPARE(message.getSender().parent(), &message);

        // The smallest message: To line even without recipients, no Cc.
        MimeMessage bare;
        bare.setSender(new EmailAddress(QStringLiteral("me@x.example")));
        QVERIFY(bare.toString().startsWith(QStringLiteral("From: <me@x.example>\r\nTo:\r\nSubject: \r\nMIME-Version")));
    }

    void contentThatIsNotAMultipart() {
        MimeMessage message(false);
        MimeText text(QStringLiteral("only"));
        message.setContent(&text);
        message.setSender(new EmailAddress(QStringLiteral("me@x.example")));
        const QString before = message.toString().section(QStringLiteral("Date: "), 1).section("\r\n", 1);
        MimeText other(QStringLiteral("other"));
        message.addPart(&other);
        QCOMPARE(message.toString().section(QStringLiteral("Date: "), 1).section("\r\n", 1), before);
        QCOMPARE(message.getParts(), QList<MimePart*>() << &text);

        // An automatic content is replaced (and deleted) by setContent.
        MimeMessage automatic;
        MimeHtml html(QStringLiteral("<p/>"));
        automatic.setContent(&html);
        QCOMPARE(&automatic.getContent(), static_cast<MimePart*>(&html));
    }

    // Whatever a subject, a display name or a file name holds, it cannot end
    // its header line: the mail has exactly its own header lines, each within
    // 78 columns (76 with encoded words), and a mail reader gets every value
    // back as it was.
    void headerValuesStayInTheirLine_data() {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("senderName");
        QTest::addColumn<QString>("recipientName");
        QTest::addColumn<QString>("fileName");
        const QString plain = QStringLiteral("plain");
        const QString log = QStringLiteral("x.log");
        QTest::newRow("CRLF in the subject") << "Hi\r\nX-Evil: 1\r\n\r\nforged body" << plain << plain << log;
        QTest::newRow("bare LF and CR in names") << "s"
                                                 << "Eve\nBcc: spy@x.example"
                                                 << "Bob\rX-Evil: 1" << log;
        QTest::newRow("quotes and angle brackets in a name") << "s"
                                                             << "\"Eve\" <eve@x.example>, "
                                                             << "a(b)c;d:e\\f" << log;
        QTest::newRow("text that looks encoded") << "=?utf-8?Q?forged?="
                                                 << "=?utf-8?B?Zm9yZ2Vk?=" << plain << log;
        QTest::newRow("controls") << QString::fromLatin1("tab\there\x01\x7f nul", 17) << "a\tb" << plain << log;
        QTest::newRow("long plain subject")
            << QStringLiteral("word ").repeated(60) + QStringLiteral("end") << plain << plain << log;
        QTest::newRow("long subject without blanks") << QString(300, QLatin1Char('a')) << plain << plain << log;
        QTest::newRow("long non-ASCII") << QString::fromUtf8("Rückmeldung 客户 😀 ").repeated(12)
                                        << QString::fromUtf8("Zoë 客户 ").repeated(10)
                                        << QString::fromUtf8("Ünal ").repeated(20) << log;
        QTest::newRow("CRLF and quote in a file name") << "s" << plain << plain << "we\"ird\r\nX-Evil: 1\r\n\r\n.log";
        QTest::newRow("quote in a file name") << "s" << plain << plain << "q\"uote.log";
        QTest::newRow("backslash in a file name") << "s" << plain << plain << "back\\slash\\.log";
        QTest::newRow("non-ASCII file name") << "s" << plain << plain << QString::fromUtf8("Protokoll größer 日志.log");
        QTest::newRow("long file name") << "s" << plain << plain << QString(200, QLatin1Char('n')) + ".log";
        QTest::newRow("long non-ASCII file name")
            << "s" << plain << plain << QString::fromUtf8("日志 \"ü\"\r\n").repeated(20) + ".log";
    }
    void headerValuesStayInTheirLine() {
        QFETCH(QString, subject);
        QFETCH(QString, senderName);
        QFETCH(QString, recipientName);
        QFETCH(QString, fileName);
        MimeMessage message;
        message.setSender(new EmailAddress(QStringLiteral("me@x.example"), senderName));
        message.addRecipient(new EmailAddress(QStringLiteral("to@x.example"), recipientName));
        message.addRecipient(new EmailAddress(QStringLiteral("cc@x.example"), recipientName), MimeMessage::Cc);
        message.setSubject(subject);
        MimeText text(QStringLiteral("body"));
        MimeAttachment attachment(QByteArray("log\n"), fileName);
        message.addPart(&text);
        message.addPart(&attachment);
        const QByteArray mail = message.toString().toUtf8();

        // Every line ends with CRLF and fits; the header lines (with their
        // continuation lines) are exactly the mail's own.
        QList<QByteArray> lines;
        QByteArray bad;
        QVERIFY2(crlfLines(mail, &lines, &bad), bad.constData());
        for (const QByteArray& bare : lines) QVERIFY2(bare.size() <= (bare.contains("=?") ? 76 : 78), bare.constData());
        QCOMPARE(headerLineNames(lines),
                 QStringList({"From", "To", "Cc", "Subject", "MIME-Version", "Date", "Content-Type",
                              "Content-Transfer-Encoding", "Content-Type", "Content-Transfer-Encoding", "Content-Type",
                              "Content-Transfer-Encoding", "Content-disposition"}));

        const mailtest::ParsedMail parsed = mailtest::parseMail(mail);
        QVERIFY2(parsed.ok, qPrintable(parsed.error));
        QVERIFY2(parsed.defects.isEmpty(), qPrintable(parsed.defects.join(", ")));
        QCOMPARE(parsed.headers.value("Subject"), subject);
        QCOMPARE(parsed.strictHeaders.value("Subject"), subject);
        QCOMPARE(parsed.headers.value("From"), senderName + QStringLiteral(" <me@x.example>"));
        QCOMPARE(parsed.headers.value("To"), recipientName + QStringLiteral(" <to@x.example>"));
        QCOMPARE(parsed.parts.size(), 2);
        QCOMPARE(parsed.parts.at(0).payload, QByteArray("body"));
        QCOMPARE(parsed.parts.at(1).fileName, fileName);
        QCOMPARE(parsed.parts.at(1).fileNameStrict, fileName);
        QCOMPARE(parsed.parts.at(1).payload, QByteArray("log\n"));
    }

    // Plain values stay as they are, on one line when they fit.
    void plainHeaderValues() {
        MimeAttachment attachment(QByteArray("x"), QStringLiteral("q\"uote.log"));
        QVERIFY(attachment.toString().startsWith(
            QStringLiteral("Content-Type: application/octet-stream; name=\"q\\\"uote.log\"\r\n")));
        MimeAttachment encoded(QByteArray("x"), QString::fromUtf8("ä b.log"));
        QVERIFY(encoded.toString().startsWith(
            QStringLiteral("Content-Type: application/octet-stream; name*=utf-8''%C3%A4%20b.log\r\n")));
        MimeMessage message;
        message.setSender(new EmailAddress(QStringLiteral("me@x.example"), QStringLiteral("Jane Q Public")));
        message.setSubject(QStringLiteral("Re: [x] 50% (off)!"));
        const QString text = message.toString();
        QVERIFY(
            text.startsWith(QStringLiteral("From: Jane Q Public <me@x.example>\r\nTo:\r\n"
                                           "Subject: Re: [x] 50% (off)!\r\n")));
    }

    // The whole mail, as a real mail reader sees it: headers decoded, parts and
    // their decoded bytes equal to what went in.
    void wholeMailReadBack() {
        QTemporaryDir dir;
        const QByteArray binary = allBytes(40);  // 10240 bytes, every value
        const QString binPath = dir.path() + QStringLiteral("/crashcore.dmp");
        QFile out(binPath);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(binary);
        out.close();

        MimeMessage message;
        message.setHeaderEncoding(MimePart::Base64);
        message.setSender(new EmailAddress(QStringLiteral("me@x.example"), QString::fromUtf8("Zoë Ünal")));
        message.addRecipient(new EmailAddress(QStringLiteral("to@x.example"), QStringLiteral("corvane")));
        message.setSubject(QString::fromUtf8("Rückmeldung: 客户"));
        const QString body = QString::fromUtf8("客户邮箱：\ta@b\n版本号：\t2.0.1.6\nline\n.\nend");
        MimeText text(body);
        MimeAttachment dump(new QFile(binPath));
        MimeAttachment log(QByteArray("log line\n"), QStringLiteral("x.log"));
        MimePart qp;
        qp.setContentType(QStringLiteral("text/plain"));
        qp.setCharset(QStringLiteral("utf-8"));
        qp.setEncoding(MimePart::QuotedPrintable);
        const QByteArray qpBytes = QString::fromUtf8("Ä long line ").repeated(20).toUtf8() + "=end";
        qp.setContent(qpBytes);
        message.addPart(&text);
        message.addPart(&dump);
        message.addPart(&log);
        message.addPart(&qp);

        const mailtest::ParsedMail parsed = mailtest::parseMail(message.toString().toUtf8());
        QVERIFY2(parsed.ok, qPrintable(parsed.error));
        QVERIFY2(parsed.defects.isEmpty(), qPrintable(parsed.defects.join(", ")));
        QCOMPARE(parsed.contentType, QStringLiteral("multipart/related"));
        QCOMPARE(parsed.headers.value("From"), QString::fromUtf8("Zoë Ünal <me@x.example>"));
        QCOMPARE(parsed.headers.value("Subject"), QString::fromUtf8("Rückmeldung: 客户"));
        QCOMPARE(parsed.parts.size(), 4);
        QCOMPARE(QString::fromUtf8(parsed.parts.at(0).payload), body);
        QCOMPARE(parsed.parts.at(1).fileName, QStringLiteral("crashcore.dmp"));
        QCOMPARE(parsed.parts.at(1).disposition, QStringLiteral("attachment"));
        QCOMPARE(parsed.parts.at(1).payload, binary);
        QCOMPARE(parsed.parts.at(2).fileName, QStringLiteral("x.log"));
        QCOMPARE(parsed.parts.at(2).payload, QByteArray("log line\n"));
        QCOMPARE(parsed.parts.at(3).payload, qpBytes);
    }

    // A text or HTML part whose lines fit a mail line (998 octets) goes out as
    // 8bit, as it is; one with a longer line goes out quoted-printable, every
    // line within 76 columns. Either way a mail reader gets the text's bytes
    // back exactly. The part's own setting stays 8bit.
    void longLinesGoQuotedPrintable_data() {
        QTest::addColumn<bool>("html");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("encoding");
        const QString cjk = QString::fromUtf8("客");  // three octets
        QTest::newRow("998 ASCII") << false << QString(998, QLatin1Char('a')) << "8bit";
        QTest::newRow("999 ASCII") << false << QString(999, QLatin1Char('a')) << "quoted-printable";
        QTest::newRow("1000 ASCII between short lines")
            << false << "first\r\n" + QString(1000, QLatin1Char('b')) + "\nlast\n"
            << "quoted-printable";
        QTest::newRow("998 octets of CJK and ASCII") << false << cjk.repeated(332) + "ab"
                                                     << "8bit";
        QTest::newRow("999 octets of CJK") << false << cjk.repeated(333) << "quoted-printable";
        QTest::newRow("334 CJK") << false << cjk.repeated(334) << "quoted-printable";
        QTest::newRow("long text of short lines")
            << false
            << (QString(900, QLatin1Char('c')) + "\r\n" + QString(900, QLatin1Char('d')) + "\n").repeated(3) + "end"
            << "8bit";
        QTest::newRow("lines ended by CR alone")
            << false << QString(998, QLatin1Char('e')) + "\r" + QString(998, QLatin1Char('f')) << "8bit";
        QTest::newRow("long HTML") << true << "<p>" + QString(1200, QLatin1Char('h')) + "</p>"
                                   << "quoted-printable";
        QTest::newRow("long CJK HTML with '=' and a dot line")
            << true << "<p a=\"1\">\n.\n" + cjk.repeated(400) + "=\n</p>"
            << "quoted-printable";
    }
    void longLinesGoQuotedPrintable() {
        QFETCH(bool, html);
        QFETCH(QString, text);
        QFETCH(QString, encoding);
        std::unique_ptr<MimeText> part(html ? new MimeHtml(text) : new MimeText(text));
        MimeMessage message;
        message.setSender(new EmailAddress(QStringLiteral("me@x.example")));
        message.addRecipient(new EmailAddress(QStringLiteral("to@x.example")));
        message.addPart(part.get());
        const QByteArray mail = message.toString().toUtf8();

        QVERIFY2(part->toString().contains(QStringLiteral("Content-Transfer-Encoding: ") + encoding + "\r\n"),
                 qPrintable(part->toString().left(200)));
        QCOMPARE(part->getEncoding(), MimePart::_8Bit);
        // Lines as the SMTP client sends them: CR, LF and CRLF each end one.
        QByteArray lines = mail;
        lines.replace("\r\n", "\n").replace('\r', '\n');
        for (const QByteArray& line : lines.split('\n')) {
            const int limit = encoding == QLatin1String("8bit") ? MimeText::kMaxLineOctets : 76;
            QVERIFY2(line.size() <= limit, line.left(80).constData());
        }
        if (encoding == QLatin1String("8bit")) {
            QVERIFY(mail.contains("\r\n\r\n" + text.toUtf8() + "\r\n"));
        }

        const mailtest::ParsedMail parsed = mailtest::parseMail(mail);
        QVERIFY2(parsed.ok, qPrintable(parsed.error));
        QVERIFY2(parsed.defects.isEmpty(), qPrintable(parsed.defects.join(", ")));
        QCOMPARE(parsed.parts.size(), 1);
        QCOMPARE(parsed.parts.at(0).type, html ? QStringLiteral("text/html") : QStringLiteral("text/plain"));
        // Quoted-printable keeps every byte, line ends included; 8bit text
        // has the line ends of its transport.
        const auto lineEnds = [](QByteArray bytes) { return bytes.replace("\r\n", "\n").replace('\r', '\n'); };
        if (encoding == QLatin1String("8bit")) {
            QCOMPARE(lineEnds(parsed.parts.at(0).payload), lineEnds(text.toUtf8()));
        } else {
            QCOMPARE(parsed.parts.at(0).payload, text.toUtf8());
        }

        // A short text in the same part is 8bit again.
        part->setText(QStringLiteral("short"));
        part->prepare();
        QVERIFY(part->toString().contains(QStringLiteral("Content-Transfer-Encoding: 8bit\r\n")));
    }

    // Every multipart draws its boundary anew from 128 random bits: over many
    // mails with a multipart inside the message's own, no two boundaries are
    // the same (with one random byte, as once, the same value came back within
    // a few dozen), and each keeps the form of 32 lower-case hexadecimal digits.
    void boundariesAreDistinct() {
        const QRegularExpression form(QStringLiteral("boundary=([^\r\n;]*)\r\n"));
        QSet<QString> seen;
        const int mails = 2000;
        for (int i = 0; i < mails; ++i) {
            MimeMessage message;
            message.setSender(new EmailAddress(QStringLiteral("me@x.example")));
            MimeMultiPart inner(MimeMultiPart::Alternative);
            MimeText plain(QStringLiteral("plain"));
            MimeHtml html(QStringLiteral("<p>html</p>"));
            inner.addPart(&plain);
            inner.addPart(&html);
            MimeAttachment file(QByteArray("log"), QStringLiteral("x.log"));
            message.addPart(&inner);
            message.addPart(&file);
            QStringList boundaries;
            QRegularExpressionMatchIterator it = form.globalMatch(message.toString());
            while (it.hasNext()) boundaries << it.next().captured(1);
            QCOMPARE(boundaries.size(), 2);
            for (const QString& boundary : boundaries) {
                QVERIFY2(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(boundary).hasMatch(),
                         qPrintable(boundary));
                QVERIFY2(!seen.contains(boundary), qPrintable(QStringLiteral("mail %1: %2").arg(i).arg(boundary)));
                seen.insert(boundary);
            }
        }
        QCOMPARE(seen.size(), 2 * mails);
    }

    // CR or LF in a Reply-To address or name, an In-Reply-To id or a part's
    // Content-ID never starts a header line of its own: the mail has exactly
    // its own header lines, the id lines carry the value without its line
    // breaks, and a mail reader sees no forged field.
    void replyAndIdValuesStayInTheirLine_data() {
        QTest::addColumn<QString>("replyAddress");
        QTest::addColumn<QString>("replyName");
        QTest::addColumn<QString>("inReplyTo");
        QTest::addColumn<QString>("contentId");
        const QString address = QStringLiteral("r@x.example");
        const QString id = QStringLiteral("id1@x.example");
        const QString cid = QStringLiteral("part1@x.example");
        QTest::newRow("CRLF in the Reply-To address") << "r@x.example\r\nX-Evil: 1"
                                                      << "R" << id << cid;
        QTest::newRow("LF in the Reply-To address") << "r@x.example\nX-Evil: 1"
                                                    << "R" << id << cid;
        QTest::newRow("CR in the Reply-To address") << "r@x.example\rX-Evil: 1"
                                                    << "R" << id << cid;
        QTest::newRow("CRLF in the Reply-To name") << address << "R\r\nX-Evil: 1\r\n" << id << cid;
        QTest::newRow("CRLF in In-Reply-To") << address << "R"
                                             << "id1@x.example>\r\nX-Evil: 1\r\nX-Other: <y" << cid;
        QTest::newRow("LF in In-Reply-To") << address << "R"
                                           << "\nX-Evil: 1" << cid;
        QTest::newRow("CR in In-Reply-To") << address << "R"
                                           << "id1\rX-Evil: 1" << cid;
        QTest::newRow("CRLF in Content-ID") << address << "R" << id << "part1@x.example>\r\nX-Evil: 1\r\n\r\nforged";
        QTest::newRow("LF in Content-ID") << address << "R" << id << "\nX-Evil: 1";
        QTest::newRow("CR in Content-ID") << address << "R" << id << "p\rX-Evil: 1\r";
        QTest::newRow("all at once") << "r@x\r\nX-A: 1"
                                     << "\n"
                                     << "\r\nX-B: 2"
                                     << "\r\n\r\nX-C: 3";
    }
    void replyAndIdValuesStayInTheirLine() {
        QFETCH(QString, replyAddress);
        QFETCH(QString, replyName);
        QFETCH(QString, inReplyTo);
        QFETCH(QString, contentId);
        const auto stripped = [](QString value) { return value.remove(QLatin1Char('\r')).remove(QLatin1Char('\n')); };
        MimeMessage message;
        message.setSender(new EmailAddress(QStringLiteral("me@x.example")));
        message.addRecipient(new EmailAddress(QStringLiteral("to@x.example")));
        EmailAddress replyTo(replyAddress, replyName);
        message.setReplyTo(&replyTo);
        message.setInReplyTo(inReplyTo);
        MimeText text(QStringLiteral("body"));
        text.setContentId(contentId);
        message.addPart(&text);
        const QByteArray mail = message.toString().toUtf8();

        QList<QByteArray> lines;
        QByteArray bad;
        QVERIFY2(crlfLines(mail, &lines, &bad), bad.constData());
        QCOMPARE(headerLineNames(lines),
                 QStringList({"From", "To", "Subject", "Reply-To", "MIME-Version", "In-Reply-To", "References", "Date",
                              "Content-Type", "Content-Transfer-Encoding", "Content-Type", "Content-Transfer-Encoding",
                              "Content-ID"}));
        const QByteArray idLine = "<" + stripped(inReplyTo).toUtf8() + ">\r\n";
        QVERIFY2(mail.contains("\r\nIn-Reply-To: " + idLine), mail.constData());
        QVERIFY2(mail.contains("\r\nReferences: " + idLine), mail.constData());
        QVERIFY2(mail.contains("\r\nContent-ID: <" + stripped(contentId).toUtf8() + ">\r\n"), mail.constData());

        const mailtest::ParsedMail parsed = mailtest::parseMail(mail);
        QVERIFY2(parsed.ok, qPrintable(parsed.error));
        QVERIFY2(parsed.defects.isEmpty(), qPrintable(parsed.defects.join(", ")));
        for (const QString& name : parsed.headers.keys()) QVERIFY2(!name.startsWith("X-"), qPrintable(name));
        QCOMPARE(parsed.headers.value("Reply-To"),
                 (replyName.isEmpty() ? QString() : replyName + QLatin1Char(' ')) + "<" + stripped(replyAddress) + ">");
        QCOMPARE(parsed.parts.size(), 1);
        QCOMPARE(parsed.parts.at(0).payload, QByteArray("body"));
    }
};

QTEST_GUILESS_MAIN(TestMime)
#include "tst_mime.moc"
