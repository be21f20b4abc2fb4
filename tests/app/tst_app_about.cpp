// The About box: the running program's own file version, the links to the
// maker's pages, its fixed size and its title bar.
//
// Built twice: once with the product's version block embedded in the test
// program (ZN_EXPECTED_FILE_VERSION is the product version) and once without
// (ZN_EXPECTED_FILE_VERSION is empty: the line shows the bare prefix).
#include <QLabel>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

#include "app/About.h"
#include "AppTestSupport.h"
#include "toolkit/ZnStyleButton.h"
#include "toolkit/ZnStyleWidgetTitle.h"
#include "platform/Endpoints.h"

namespace {

// Every anchor of a rich text, as (target, visible text).
QList<QPair<QString, QString>> anchors(const QString& html) {
    QTextDocument document;
    document.setHtml(html);
    QList<QPair<QString, QString>> out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().isAnchor()) out << qMakePair(fragment.charFormat().anchorHref(), fragment.text());
        }
    }
    return out;
}

}  // namespace

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        platform::setApplicationDir(QStringLiteral(ZN_APP_DIR));
        apptest::initStyle(QStringLiteral(ZN_APP_DIR));
        qputenv("CORVANE_SUPPORT_PAGE", "https://help.corvane.test/care");
        qputenv("CORVANE_WEB_SITE", "https://home.corvane.test");
    }

    void showsTheProgramsOwnFileVersion() {
        CAbout about;
        auto* version = about.findChild<QLabel*>(QStringLiteral("labelVersion"));
        QVERIFY(version);
        QCOMPARE(version->text(), QStringLiteral("Version: ") + QStringLiteral(ZN_EXPECTED_FILE_VERSION));
    }

    void linksLeadToTheSupportAndHomePages() {
        CAbout about;
        const struct {
            const char* label;
            QString address;
        } links[] = {
            {"labelSupportLink", QStringLiteral("https://help.corvane.test/care/")},
            {"labelHomeLink", QStringLiteral("https://home.corvane.test/")},
        };
        for (const auto& link : links) {
            auto* label = about.findChild<QLabel*>(QLatin1String(link.label));
            QVERIFY(label);
            // One anchor whose target and visible text are the same address.
            const auto found = anchors(label->text());
            QCOMPARE(found.size(), 1);
            QCOMPARE(found.first().first, link.address);
            QCOMPARE(found.first().second, link.address);
            QVERIFY(label->openExternalLinks());
        }
    }

    void textsAndTitle() {
        CAbout about;
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("labelDesc"))->text(),
                 QStringLiteral("One click to fix iTunes issues and optimize iTunes performance!"));
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("labelSupport"))->text(), QStringLiteral("Support:"));
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("labelHome"))->text(), QStringLiteral("Home:"));
        auto* title = about.findChild<ZnStyleWidgetTitle*>(QStringLiteral("widget"));
        QVERIFY(title);
        bool captionFound = false;
        for (QLabel* label : title->findChildren<QLabel*>())
            if (label->text() == QLatin1String("About")) captionFound = true;
        QVERIFY(captionFound);
        auto* logo = about.findChild<QLabel*>(QStringLiteral("labelGif"));
        QVERIFY(!logo->pixmap(Qt::ReturnByValue).isNull());
    }

    // The company paragraph keeps its three hand-made lines: each fits the
    // label's width in the font the label draws with.
    void paragraphKeepsItsThreeLines() {
        CAbout about;
        auto* paragraph = about.findChild<QLabel*>(QStringLiteral("labelDesc2"));
        QCOMPARE(paragraph->text(),
                 QStringLiteral("<html><head/><body><p style=\"line-height:24px;\">Brelion Technology Co. Ltd. is a "
                                "hi-tech corporation, specialized in provid-<br/>ing professional solutions for iOS "
                                "devices and helping global customers to <br/>run their iPhone/iPad/iPod "
                                "better.</p></body></html>"));
        QTextDocument document;
        document.setHtml(paragraph->text());
        const QStringList lines = document.toPlainText().split(QRegularExpression(QStringLiteral("[\\n\\x{2028}]")));
        QCOMPARE(lines.size(), 3);
        const QFontMetrics metrics(paragraph->font());
        for (const QString& line : lines) QVERIFY2(metrics.horizontalAdvance(line.trimmed()) <= 480, qPrintable(line));
        QCOMPARE(paragraph->font().pointSize(), 10);
    }

    void cannotBeResized() {
        CAbout about;
        QCOMPARE(about.size(), QSize(550, 370));
        QCOMPARE(about.minimumSize(), QSize(550, 370));
        QCOMPARE(about.maximumSize(), QSize(550, 370));
        QVERIFY(about.windowFlags() & Qt::FramelessWindowHint);
    }

    void titleBarDragsAndCloses() {
        CAbout about;
        about.move(100, 100);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        auto* title = about.findChild<ZnStyleWidgetTitle*>(QStringLiteral("widget"));
        const QPoint start = about.pos();
        const QPoint inside(40, 15);
        QMouseEvent press(QEvent::MouseButtonPress, inside, title->mapToGlobal(inside), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(title, &press);
        const QPoint to = inside + QPoint(30, 20);
        QMouseEvent move(QEvent::MouseMove, to, title->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(title, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, to, title->mapToGlobal(to), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(title, &release);
        QCOMPARE(about.pos(), start + QPoint(30, 20));

        auto* close = title->findChild<ZnStyleButton*>();
        QVERIFY(close);
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(about.isHidden());
    }
};

QTEST_MAIN(TestAbout)
#include "tst_app_about.moc"
