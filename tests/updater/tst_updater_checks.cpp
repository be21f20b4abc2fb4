// The update window's judgements on the server's answers, as tables: which
// version is newer, which digest matches, how much of long release notes is
// shown and how it keeps every run breakable; and the shadow width taken from
// the command line.
#include <QTextDocument>
#include <QtTest>
#include <algorithm>

#include "updater/LiveUpdate.h"
#include "updater/LiveUpdateStartup.h"
#include "updater/UpdateChecks.h"

namespace {

// Position of the first surrogate that is not half of a pair, or -1.
int loneSurrogateAt(const QString& text) {
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return i;
    }
    return -1;
}

// Code units of the longest run without a place to break the line (white
// space other than the no-break spaces, or a zero-width space).
int longestRun(const QString& text) {
    int longest = 0, run = 0;
    for (const QChar c : text) {
        const bool noBreak = c == QChar(0xA0) || c == QChar(0x2007) || c == QChar(0x202F);
        if ((c.isSpace() && !noBreak) || c == QChar(0x200B))
            run = 0;
        else
            longest = std::max(longest, ++run);
    }
    return longest;
}

}  // namespace

class UpdaterChecksTest : public QObject {
    Q_OBJECT

private slots:
    void versionOrder_data() {
        QTest::addColumn<QString>("installed");
        QTest::addColumn<QString>("offered");
        QTest::addColumn<bool>("older");
        QTest::newRow("1.9.0 < 1.10.0") << "1.9.0"
                                        << "1.10.0" << true;
        QTest::newRow("2.0.1.6 < 2.0.1.10") << "2.0.1.6"
                                            << "2.0.1.10" << true;
        QTest::newRow("2.0.1.6 < 10.0.0.0") << "2.0.1.6"
                                            << "10.0.0.0" << true;
        QTest::newRow("2.0.1.10 > 2.0.1.9") << "2.0.1.10"
                                            << "2.0.1.9" << false;
        QTest::newRow("equal") << "2.0.1.6"
                               << "2.0.1.6" << false;
        QTest::newRow("missing numbers count as 0") << "2.0.1"
                                                    << "2.0.1.0" << false;
        QTest::newRow("one more number") << "2.0.1"
                                         << "2.0.1.1" << true;
        QTest::newRow("leading zeros") << "2.0.01.6"
                                       << "2.0.1.6" << false;
        QTest::newRow("numbers beyond 64 bits") << "1.99999999999999999999"
                                                << "1.100000000000000000000" << true;
        QTest::newRow("line end of the server ignored") << "2.0.1.6"
                                                        << "2.0.1.10\n"
                                                        << true;
        QTest::newRow("empty installed: plain text") << ""
                                                     << "0.1" << true;
        QTest::newRow("not dotted decimal: plain text") << "2.0.1.6"
                                                        << "10.0 beta" << false;
        QTest::newRow("letters: plain text") << "1.9.0"
                                             << "1.9.0a" << true;
        QTest::newRow("empty part: plain text, '.' before '1'") << "1..9"
                                                                << "1.10" << true;
        // The same build is never offered as newer.
        QTest::newRow("equal, not dotted decimal") << "2.1 beta"
                                                   << "2.1 beta" << false;
        QTest::newRow("equal, not dotted decimal, line end of the server") << "2.1 beta"
                                                                           << "2.1 beta\r\n"
                                                                           << false;
        QTest::newRow("both empty") << ""
                                    << "" << false;
        QTest::newRow("equal, line end of the server") << "2.0.1.6"
                                                       << "2.0.1.6\n"
                                                       << false;
    }
    void versionOrder() {
        QFETCH(QString, installed);
        QFETCH(QString, offered);
        QFETCH(bool, older);
        QCOMPARE(isOlderVersion(installed, offered), older);
    }

    void digestComparison_data() {
        const QString local = QStringLiteral("A9993E364706816ABA3E25717850C26C9CD0D89D");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("matches");
        QTest::newRow("same") << local << local << true;
        QTest::newRow("lower case") << local << local.toLower() << true;
        QTest::newRow("mixed case, line end") << local << "a9993E364706816aba3e25717850c26c9cd0d89d\n" << true;
        QTest::newRow("blanks and CR LF") << local << " \t" + local + "\r\n" << true;
        QTest::newRow("other digest") << local << "A9993E364706816ABA3E25717850C26C9CD0D89E" << false;
        QTest::newRow("short") << local << local.left(39) << false;
        QTest::newRow("long") << local << local + "0" << false;
        QTest::newRow("not hex") << local << local.left(39) + "G" << false;
        QTest::newRow("blank inside") << local << local.left(20) + " " + local.mid(20) << false;
        QTest::newRow("empty") << local << "" << false;
        QTest::newRow("sha1sum line") << local << local.toLower() + "  CorvaneSetup.exe\n" << false;
        QTest::newRow("unreadable file") << QString() << local << false;
        QTest::newRow("both empty") << QString("") << "" << false;
        QTest::newRow("empty file digest") << QString("") << local << false;
    }
    void digestComparison() {
        QFETCH(QString, local);
        QFETCH(QString, server);
        QFETCH(bool, matches);
        QCOMPARE(digestMatches(local, server), matches);
    }

    // Notes within the limit are shown whole; longer ones are cut at the last
    // line end (HTML: line or tag end, never inside a tag) in the second half
    // of what fits, else at the limit, and get the closing line.
    void releaseNotes_data() {
        const int limit = LiveUpdate::kMaxShownNotes;
        QTest::addColumn<QString>("notes");
        QTest::addColumn<bool>("rich");
        QTest::addColumn<int>("kept");  // characters of the notes shown; -1: all, unchanged
        QTest::newRow("at the limit") << QString(limit, 'x') << false << -1;
        QTest::newRow("one long line") << QString(limit * 40, 'x') << false << limit;
        QString lines;
        while (lines.size() < limit + 10) lines += QString(99, 'l') + '\n';
        QTest::newRow("lines: at a line end") << lines << false << (limit / 100) * 100;
        QTest::newRow("a line end early only") << "x\n" + QString(limit * 2, 'x') << false << limit;
        QString html;
        while (html.size() < limit + 10) html += "<p>" + QString(93, 'h') + "</p>";
        // The last tag end is that of the "<p>" the limit falls behind.
        QTest::newRow("html: at a tag end") << html << true << (limit / 100) * 100 + 3;
        QString inTag = QString(limit - 10, 'h') + "<a href=\"" + QString(100, 'u') + "\">";
        QTest::newRow("html: not inside a tag") << inTag << true << limit - 10;
        QString lineInTag = "<p>" + QString(limit - 100, 'h') + "</p><a\nhref=\"" + QString(200, 'u') + "\">";
        QTest::newRow("html: line end inside a tag") << lineInTag << true << limit - 93;
        // At the limit itself the cut keeps characters and entities whole.
        QString emoji;
        for (int i = 0; i < 10; ++i) emoji += QString::fromUcs4(U"\U0001F600");
        QTest::newRow("not inside a surrogate pair") << QString(limit - 1, 'x') + emoji << false << limit - 1;
        QTest::newRow("html: not inside a surrogate pair")
            << "<p>" + QString(limit - 4, 'h') + emoji + "</p>" << true << limit - 1;
        QTest::newRow("html: not inside an entity")
            << "<p>" + QString(limit - 5, 'h') + "&amp;" + QString(100, 'h') + "</p>" << true << limit - 2;
    }
    void releaseNotes() {
        QFETCH(QString, notes);
        QFETCH(bool, rich);
        QFETCH(int, kept);
        // Break opportunities aside (see breakOpportunities).
        const QString shown = LiveUpdate::shownReleaseNotes(notes, rich).remove(QChar(0x200B));
        if (kept < 0) {
            QCOMPARE(shown, notes);
            return;
        }
        QCOMPARE(shown.left(kept), notes.left(kept));
        const QString closing = QStringLiteral("The release notes are longer than shown here and were cut.");
        QCOMPARE(shown.mid(kept), rich ? "<p><i>" + closing + "</i></p>" : "\n\n" + closing);
    }

    // A run of more than 512 characters without white space gets a
    // zero-width space after each 512; tags and entities of HTML stay whole.
    void breakOpportunities_data() {
        const QString zw(QChar(0x200B));
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("rich");
        QTest::addColumn<QString>("expected");
        QTest::newRow("words") << "What's New in 2.1" << false << "What's New in 2.1";
        QTest::newRow("exactly 512") << QString(512, 'x') << false << QString(512, 'x');
        QTest::newRow("1200 in a row") << QString(1200, 'x') << false
                                       << QString(512, 'x') + zw + QString(512, 'x') + zw + QString(176, 'x');
        QTest::newRow("blanks start a new run")
            << QString(400, 'x') + ' ' + QString(400, 'x') << false << QString(400, 'x') + ' ' + QString(400, 'x');
        QTest::newRow("plain '<' is a character")
            << "<" + QString(600, 'x') << false << "<" + QString(511, 'x') + zw + QString(89, 'x');
        const QString tag = "<a href=\"https://h/" + QString(1200, 'u') + "\">";
        QTest::newRow("html: a tag stays whole")
            << tag + QString(600, 't') + "</a>" << true << tag + QString(512, 't') + zw + QString(88, 't') + "</a>";
        QTest::newRow("html: an entity stays whole") << QString(510, 'x') + "&amp;" + QString(10, 'x') << true
                                                     << QString(510, 'x') + "&amp;" + zw + QString(10, 'x');
    }
    void breakOpportunities() {
        QFETCH(QString, text);
        QFETCH(bool, rich);
        QFETCH(QString, expected);
        QCOMPARE(LiveUpdate::withBreakOpportunities(text, rich), expected);
    }

    // Whatever the notes hold, what is shown has no run of more than 512
    // characters without a break opportunity (in HTML: as the text box reads
    // it), no lone surrogate, every listed tag and entity unchanged, and
    // nothing else changed but the inserted zero-width spaces.
    void notesStructure_data() {
        const QString emoji = QString::fromUcs4(U"\U0001F600");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<bool>("rich");
        QTest::addColumn<QStringList>("intact");
        QTest::newRow("html: stray '&'") << "<p>AT&" + QString(200000, 'x') + "</p>" << true << QStringList{"<p>"};
        QTest::newRow("html: stray '&' before a far ';'")
            << "<p>AT&" + QString(5000, 'x') + ";" + QString(5000, 'x') << true << QStringList{"<p>"};
        QTest::newRow("html: unclosed '<'") << "<p>AT<" + QString(200000, 'x') << true << QStringList{"<p>"};
        QTest::newRow("html: '<' with a far '>'")
            << "<p>a<" + QString(20000, 'x') + "</p>" + QString(2000, 'y') << true << QStringList{"<p>", "</p>"};
        const QString tag = "<a href=\"https://h/" + QString(1200, 'u') + "\">";
        QTest::newRow("html: tags and entities kept")
            << "<p>" + tag + QString(3000, 't') + "&amp;" + QString(600, 't') + "&#x1F600;" + QString(600, 't') +
                   "</a></p>"
            << true << QStringList{"<p>", tag, "&amp;", "&#x1F600;", "</a></p>"};
        QTest::newRow("html: entities in a row")
            << "<p>" + QString("&amp;").repeated(2000) << true << QStringList{"<p>"};
        QTest::newRow("emoji") << emoji.repeated(600) << false << QStringList{};
        QTest::newRow("emoji after an odd run") << "x" + emoji.repeated(600) << false << QStringList{};
        QTest::newRow("html: emoji") << "<p>" + emoji.repeated(600) + "</p>" << true << QStringList{"<p>", "</p>"};
        QTest::newRow("no-break spaces join a run")
            << (QString(100, 'x') + QChar(0xA0)).repeated(20) << false << QStringList{};
        QTest::newRow("html: no-break spaces join a run")
            << "<p>" + (QString(100, 'x') + "&nbsp;").repeated(20) << true << QStringList{"<p>", "&nbsp;"};
        QTest::newRow("over the limit: emoji")
            << "x" + emoji.repeated(LiveUpdate::kMaxShownNotes / 2 + 5) << false << QStringList{};
        QTest::newRow("html over the limit: stray '&'")
            << "<p>&" + QString(LiveUpdate::kMaxShownNotes, 'x') << true << QStringList{"<p>"};
    }
    void notesStructure() {
        QFETCH(QString, notes);
        QFETCH(bool, rich);
        QFETCH(QStringList, intact);
        const QString shown = LiveUpdate::shownReleaseNotes(notes, rich);
        for (const QString& part : intact) QVERIFY2(shown.contains(part), qPrintable(part.left(40)));
        QCOMPARE(loneSurrogateAt(shown), -1);
        const QString bare = QString(shown).remove(QChar(0x200B));
        if (notes.size() <= LiveUpdate::kMaxShownNotes)
            QVERIFY(bare == notes);
        else
            QVERIFY(notes.startsWith(bare.left(bare.lastIndexOf(rich ? "<p><i>" : "\n\n"))));
        QString text = shown;
        if (rich) {
            QTextDocument document;
            document.setHtml(shown);
            text = document.toRawText();
        }
        QVERIFY2(longestRun(text) <= LiveUpdate::kMaxUnbrokenRun, qPrintable(QString::number(longestRun(text))));
    }

    void shadowWidth_data() {
        QTest::addColumn<int>("flag");
        QTest::addColumn<int>("width");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("5") << 5 << 5;
        QTest::newRow("20") << 20 << 20;
        QTest::newRow("21") << 21 << 5;
        QTest::newRow("200") << 200 << 5;
        QTest::newRow("100000") << 100000 << 5;
        QTest::newRow("-1") << -1 << 5;
        QTest::newRow("INT_MIN") << INT_MIN << 5;
    }
    void shadowWidth() {
        QFETCH(int, flag);
        QFETCH(int, width);
        QCOMPARE(shadowWidthFor(flag), width);
    }
};

QTEST_MAIN(UpdaterChecksTest)
#include "tst_updater_checks.moc"
