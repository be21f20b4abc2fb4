// The bounded parse of XML files from servers and disk: texts within the size
// and depth bounds parse as QDomDocument parses them; deeper or larger ones,
// and malformed ones, are refused with an error and an empty document.
#include <QBuffer>
#include <QDomDocument>
#include <QtTest>

#include "toolkit/ZnBoundedXml.h"

namespace {

// `depth` nested elements, the innermost holding a text.
QByteArray nested(int depth) {
    QByteArray xml;
    xml.reserve(depth * 7 + 16);
    for (int i = 0; i < depth; ++i) xml += "<a>";
    xml += "x";
    for (int i = 0; i < depth; ++i) xml += "</a>";
    return xml;
}

// A well-formed document of at least `bytes` bytes, two levels deep.
QByteArray large(qint64 bytes) {
    QByteArray xml("<t>");
    const QByteArray item("<i>0123456789abcdef0123456789abcdef</i>");
    while (xml.size() < bytes) xml += item;
    return xml + "</t>";
}

}  // namespace

class TestZnBoundedXml : public QObject {
    Q_OBJECT

private slots:
    void bounds_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("parsed");
        QTest::addColumn<QString>("error");  // part of the message
        using ZnBoundedXml::kMaxBytes;
        using ZnBoundedXml::kMaxDepth;
        QTest::newRow("at the depth bound") << nested(kMaxDepth) << true << QString();
        QTest::newRow("one level deeper") << nested(kMaxDepth + 1) << false << "deeper than 64";
        // The DOM parser recurses per level: this one crashed it.
        QTest::newRow("50000 levels") << nested(50000) << false << "deeper than 64";
        QTest::newRow("deep beside a valid table")
            << QByteArray("<iTunesDownload><iTunesVersion/>" + nested(kMaxDepth) + "</iTunesDownload>") << false
            << "deeper than 64";
        QTest::newRow("at the size bound")
            << large(kMaxBytes - 200).leftJustified(int(kMaxBytes), ' ') << true << QString();
        QTest::newRow("beyond the size bound") << large(kMaxBytes + 1) << false << "larger than";
        QTest::newRow("malformed") << QByteArray("<a><b></a>") << false << QString();
        QTest::newRow("empty") << QByteArray() << false << QString();
        // No namespace processing, as the readers always parsed.
        QTest::newRow("undeclared prefix") << QByteArray("<p:a><p:b>x</p:b></p:a>") << true << QString();
        QTest::newRow("comments and processing instructions")
            << QByteArray("<?xml version=\"1.0\"?><!-- c --><a><?pi x?><b>y</b></a>") << true << QString();
    }
    void bounds() {
        QFETCH(QByteArray, xml);
        QFETCH(bool, parsed);
        QFETCH(QString, error);

        QDomDocument fromBytes;
        ZnBoundedXml::Error bytesError;
        QCOMPARE(ZnBoundedXml::parse(xml, fromBytes, &bytesError), parsed);

        QBuffer buffer(&xml);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QDomDocument fromDevice;
        ZnBoundedXml::Error deviceError;
        QCOMPARE(ZnBoundedXml::parse(buffer, fromDevice, &deviceError), parsed);

        if (parsed) {
            QVERIFY(!fromBytes.documentElement().isNull());
            QCOMPARE(fromDevice.toByteArray(), fromBytes.toByteArray());
            return;
        }
        QVERIFY(fromBytes.documentElement().isNull());
        QVERIFY(fromDevice.documentElement().isNull());
        QVERIFY(!bytesError.message.isEmpty());
        QCOMPARE(deviceError.message, bytesError.message);
        if (!error.isEmpty()) QVERIFY2(bytesError.message.contains(error), qPrintable(bytesError.message));
    }

    // A refused parse leaves no document of an earlier one behind.
    void refusalClearsTheDocument() {
        QDomDocument document;
        QVERIFY(ZnBoundedXml::parse(QByteArray("<old/>"), document));
        QVERIFY(!ZnBoundedXml::parse(nested(ZnBoundedXml::kMaxDepth + 1), document));
        QVERIFY(document.documentElement().isNull());
    }

    // A device is read only up to one byte past the bound.
    void readAllStopsPastTheBound() {
        QByteArray bytes(int(ZnBoundedXml::kMaxBytes) * 2, 'x');
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QByteArray read("stale");
        ZnBoundedXml::Error error;
        QVERIFY(!ZnBoundedXml::readAll(buffer, read, &error));
        QVERIFY(read.isEmpty());
        QCOMPARE(buffer.pos(), ZnBoundedXml::kMaxBytes + 1);
        QVERIFY(error.message.contains(QLatin1String("larger than")));
    }

    // The error of a malformed text names its place, as the DOM parser's did.
    void malformedErrorHasItsPlace() {
        ZnBoundedXml::Error error;
        QDomDocument document;
        QVERIFY(!ZnBoundedXml::parse(QByteArray("<a>\n<b>\n</a>"), document, &error));
        QCOMPARE(error.line, 3);
        QVERIFY(error.column > 0);
    }
};

QTEST_GUILESS_MAIN(TestZnBoundedXml)
#include "tst_ZnBoundedXml.moc"
