// The result page: the seventeen views, what carries over between views, the
// occupied-file list, the note links, the share addresses and the Try Again
// routes.
#include <QLabel>
#include <QLayout>
#include <QMovie>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

#include "repair/FixiTunesFinished.h"
#include "RepairTestSupport.h"
#include "toolkit/ZnStyleButton.h"

Q_DECLARE_METATYPE(std::vector<std::wstring>)

namespace {

QString bodyHtml(const QString& sentence) {
    return QStringLiteral(
               "<html><head/><body><p style=\"height:16px;line-height:24px;color:#787878\"> %1</p></body></html>")
        .arg(sentence);
}

QString listLine(const QString& nameHtml) {
    return QStringLiteral(
               "<html><head/><body><p style=\"line-height:10px;color:#787878\"><b> \u00B7  </b> %1</p></body></html>")
        .arg(nameHtml);
}

// The anchors of a rich text, in order.
QStringList anchorsOf(const QString& html) {
    QTextDocument doc;
    doc.setHtml(html);
    QStringList anchors;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QString href = it.fragment().charFormat().anchorHref();
            if (!href.isEmpty() && !anchors.contains(href)) anchors << href;
        }
    }
    return anchors;
}

// Elements in the order of the visibility columns.
const char* const kElements[] = {
    "pushButton_OK",         "pushButton_TryAgain", "pushButton_OpeniTunes", "label_SuccessNote", "label",
    "widget_fileIsOccupied", "labelLine",           "widget_share"};
// Elements that always follow the one before them in the list above.
const char* const kCompanions[][2] = {
    {"labelLine_2", "label_SuccessNote"}, {"widgetFilesOccupied", "widget_fileIsOccupied"},
    {"LabelShare", "widget_share"},       {"btnFaceBook", "widget_share"},
    {"btnTwitter", "widget_share"},       {"btnGoogle", "widget_share"}};

const QString kOccupied8 =
    QStringLiteral("The repair failed because some files are occupied. Please restart your PC and try it again.");
const QString kDriver9 = QStringLiteral(
    "The repair failed because the repair driver is incomplete. Please make sure you have a stable network "
    "connection and try it again.");

std::vector<std::wstring> g_occupied;

}  // namespace

class FixiTunesFinishedTest : public QObject {
    Q_OBJECT

private:
    template <typename T = QWidget>
    static T* child(QWidget* page, const char* name) {
        T* w = page->findChild<T*>(QLatin1String(name));
        if (!w) qFatal("missing child %s", name);
        return w;
    }
    // The shown elements, as a string of S and H in the order of kElements.
    static QString visibility(QWidget* page) {
        QString s;
        for (const char* name : kElements) s += child(page, name)->isHidden() ? QLatin1Char('H') : QLatin1Char('S');
        return s;
    }
    static QString margins(QWidget* page, const char* layout) {
        const QMargins m = child<QLayout>(page, layout)->contentsMargins();
        return QStringLiteral("%1,%2,%3,%4").arg(m.left()).arg(m.top()).arg(m.right()).arg(m.bottom());
    }
    static QString snapshot(QWidget* page) {
        auto m = [&](const char* layout) { return margins(page, layout); };
        return QStringList{
            child<QLabel>(page, "label_title")->text(),
            child<QLabel>(page, "label_text")->text(),
            visibility(page),
            m("horizontalLayoutButton"),
            m("horizontalLayoutShare"),
            m("verticalLayoutData"),
            child<QLabel>(page, "label_SuccessNote")->text(),
            child<QLabel>(page, "labelList")->text(),
            child<QLabel>(page, "label_image")->movie() ? QStringLiteral("movie") : QStringLiteral("picture")}
            .join(QLatin1Char('|'));
    }

private slots:
    void initTestCase() {
        repairtest::initStyle();
        qputenv("CORVANE_WEB_SITE", "https://site.test");
        qputenv("CORVANE_FACEBOOK_SHARE", "https://fb.test");
        qputenv("CORVANE_TWITTER_SHARE", "https://tw.test");
        qputenv("CORVANE_GOOGLE_SHARE", "https://gp.test");
        CFixiTunesFinished::SetOccupiedFileSource([] { return g_occupied; });
    }
    void init() { g_occupied.clear(); }
    void cleanupTestCase() { CFixiTunesFinished::SetOccupiedFileSource({}); }

    void views_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("sentence");
        // OK, Try Again, Open iTunes, note line, note icon, occupied box, rule, share row.
        QTest::addColumn<QString>("shown");
        // Contents margins left, top, right, bottom.
        QTest::addColumn<QString>("buttonRow");
        QTest::addColumn<QString>("shareRow");
        QTest::addColumn<QString>("textColumn");
        QTest::addColumn<bool>("movie");

        const QString fixed = QStringLiteral("iTunes Fixed Successfully!");
        const QString uninstalled = QStringLiteral("iTunes Uninstalled Successfully!");
        const QString repaired = QStringLiteral("iTunes Repaired Successfully!");
        const QString failed = QStringLiteral("Repair Failed.");
        const QString uninstallFailed = QStringLiteral("iTunes Uninstallation Failed.");
        const QString success0 = "0,0,0,20", share0 = "0,0,0,20", text0 = "0,120,0,140";
        const QString button3 = "0,0,0,36", share3 = "0,30,0,20", text3 = "0,122,0,140";
        const QString button24 = "0,24,0,0", button12 = "0,12,0,0";

        // The note icon is left alone by views 0 to 2: on a new page it is shown.
        QTest::newRow("0") << 0 << fixed
                           << "The iTunes repairing process is done. You can use your iTunes properly now."
                           << "SHSSSHHS" << success0 << share0 << text0 << true;
        QTest::newRow("1") << 1 << uninstalled
                           << "iTunes and related software components have been completely uninstalled from your "
                              "computer."
                           << "SHHSSHHS" << success0 << share0 << text0 << true;
        QTest::newRow("2") << 2 << uninstalled
                           << "iTunes and related software components have been completely uninstalled and the "
                              "iTunes data has been removed from your computer."
                           << "SHHSSHHS" << success0 << share0 << text0 << true;
        QTest::newRow("3") << 3 << repaired
                           << "The issue \"iTunes failed to detect iPhone/iPad/iPod\" has been fixed. Now you can "
                              "use your iTunes properly."
                           << "SHSHHHSS" << button3 << share3 << text3 << true;
        QTest::newRow("4") << 4 << repaired
                           << "iTunes installation or update issues have been fixed. Now you can use your iTunes or "
                              "upgrade it properly."
                           << "SHSHHHSS" << button3 << share3 << text3 << true;
        QTest::newRow("5") << 5 << repaired
                           << "The issues occurred when backing up or restoring backup have been fixed. Now you can "
                              "use your iTunes normally."
                           << "SHSHHHSS" << button3 << share3 << text3 << true;
        QTest::newRow("6") << 6 << repaired
                           << "Your iTunes has been deeply repaired. You can have a better experience with iTunes "
                              "now."
                           << "SHSHHHSS" << button3 << share3 << text3 << true;
        QTest::newRow("7") << 7 << failed
                           << "The repair failed because an unknown error occurred.<br>Please try it again."
                           << "SSHHHHHH" << button24 << share0 << "0,165,0,175" << false;
        QTest::newRow("8") << 8 << failed << kOccupied8 << "SHHHHSHH" << button12 << share0 << "0,110,0,140" << false;
        QTest::newRow("9") << 9 << failed << kDriver9 << "SSHHHHHH" << button12 << share0 << "0,165,0,170" << false;
        QTest::newRow("10 (blank before the break)")
            << 10 << failed << "The repair failed because an unknown error occurred. <br>Please try it again."
            << "SSHHHHHH" << button24 << share0 << "0,165,0,175" << false;
        QTest::newRow("11 (as 8)") << 11 << failed << kOccupied8 << "SHHHHSHH" << button12 << share0 << "0,110,0,140"
                                   << false;
        QTest::newRow("12 (as 9)") << 12 << failed << kDriver9 << "SSHHHHHH" << button12 << share0 << "0,165,0,170"
                                   << false;
        QTest::newRow("13") << 13 << failed
                            << "The repair failed because some iTunes services are occupied. Please restart your PC "
                               "and try it again."
                            << "SHHHHHHH" << button12 << share0 << "0,165,0,178" << false;
        QTest::newRow("14") << 14 << uninstallFailed
                            << "iTunes uninstallation failed because an unknown error occurred. <br>Please try it "
                               "again."
                            << "SSHHHHHH" << button24 << share0 << "0,165,0,175" << false;
        QTest::newRow("15") << 15 << uninstallFailed
                            << "It failed to uninstall your iTunes because some files are occupied. Please restart "
                               "your PC and try it again."
                            << "SHHHHSHH" << button12 << share0 << "0,110,0,140" << false;
        QTest::newRow("16") << 16 << "Data Deletion Failed."
                            << "iTunes uninstallation completed. But it failed to delete user because some files "
                               "are occupied. Please restart your PC and try it again."
                            << "SHHHHSHH" << button12 << share0 << "0,110,0,140" << false;
    }

    void views() {
        QFETCH(int, code);
        QFETCH(QString, title);
        QFETCH(QString, sentence);
        QFETCH(QString, shown);
        QFETCH(QString, buttonRow);
        QFETCH(QString, shareRow);
        QFETCH(QString, textColumn);
        QFETCH(bool, movie);

        CFixiTunesFinished page;
        page.SetFixStatus(code);
        QCOMPARE(child<QLabel>(&page, "label_title")->text(), title);
        QCOMPARE(child<QLabel>(&page, "label_text")->text(), bodyHtml(sentence));
        QCOMPARE(visibility(&page), shown);
        for (const auto& pair : kCompanions)
            QCOMPARE(child(&page, pair[0])->isHidden(), child(&page, pair[1])->isHidden());
        QCOMPARE(margins(&page, "horizontalLayoutButton"), buttonRow);
        QCOMPARE(margins(&page, "horizontalLayoutShare"), shareRow);
        QCOMPARE(margins(&page, "verticalLayoutData"), textColumn);

        auto* image = child<QLabel>(&page, "label_image");
        if (movie) {
            QVERIFY(image->movie());
            QVERIFY(image->movie()->fileName().endsWith(QStringLiteral("/gif/Succeed.gif")));
        } else {
            QVERIFY(!image->movie());
            QVERIFY(!image->pixmap(Qt::ReturnByValue).isNull());
        }
    }

    void codesOutsideTheViewsChangeNothing_data() {
        QTest::addColumn<int>("code");
        QTest::newRow("17") << 17;
        QTest::newRow("18") << 18;
        QTest::newRow("-1") << -1;
        QTest::newRow("100") << 100;
    }

    void codesOutsideTheViewsChangeNothing() {
        QFETCH(int, code);
        CFixiTunesFinished page;
        const QString fresh = snapshot(&page);
        page.SetFixStatus(code);
        QCOMPARE(snapshot(&page), fresh);

        page.SetFixStatus(kFixStatus_RepairDetectionSuccess);
        const QString before = snapshot(&page);
        page.SetFixStatus(code);
        QCOMPARE(snapshot(&page), before);
    }

    // A view changes only what it names; the rest keeps the earlier views' state.
    void carryOver() {
        CFixiTunesFinished page;
        page.SetFixStatus(kFixStatus_RepairDetectionSuccess);  // hides the note icon
        page.SetFixStatus(kFixStatus_FixSuccess);              // shows the note, not the icon
        QVERIFY(!child(&page, "label_SuccessNote")->isHidden());
        QVERIFY(child(&page, "label")->isHidden());

        // Failure picture replaces the movie; the next success view brings it back.
        page.SetFixStatus(kFixStatus_FixFailedUnknown);
        QVERIFY(!child<QLabel>(&page, "label_image")->movie());
        page.SetFixStatus(kFixStatus_RepairOtherSuccess);
        QVERIFY(child<QLabel>(&page, "label_image")->movie());

        // The note text of view 1 stays through views that do not set it.
        page.SetFixStatus(kFixStatus_UninstallSuccess);
        const QString note = child<QLabel>(&page, "label_SuccessNote")->text();
        page.SetFixStatus(kFixStatus_UninstallFailedUnknown);
        page.SetFixStatus(kFixStatus_RepairBackupRestoreSuccess);
        QCOMPARE(child<QLabel>(&page, "label_SuccessNote")->text(), note);
    }

    void occupiedList_data() {
        QTest::addColumn<std::vector<std::wstring>>("paths");
        QTest::addColumn<QString>("list");
        QTest::newRow("two paths, names without folders")
            << std::vector<std::wstring>{L"C:\\Program Files\\iTunes\\iTunes.dll", L"/opt/apple/AppleMobile.sys"}
            << listLine(QStringLiteral("iTunes.dll")) + listLine(QStringLiteral("AppleMobile.sys"));
        QTest::newRow("a name that looks like markup is shown as written")
            << std::vector<std::wstring>{L"C:\\x\\<b>bold<br>&amp;.dll"}
            << listLine(QStringLiteral("&lt;b&gt;bold&lt;br&gt;&amp;amp;.dll"));
        QTest::newRow("path without separator")
            << std::vector<std::wstring>{L"Bonjour.exe"} << listLine(QStringLiteral("Bonjour.exe"));
    }

    // Views 8, 11, 15 and 16 list the main window's occupied files.
    void occupiedList() {
        QFETCH(std::vector<std::wstring>, paths);
        QFETCH(QString, list);
        for (int code : {8, 11, 15, 16}) {
            CFixiTunesFinished page;
            g_occupied = paths;
            page.SetFixStatus(code);
            QCOMPARE(child<QLabel>(&page, "labelList")->text(), list);
            QVERIFY(!child(&page, "widget_fileIsOccupied")->isHidden());
        }
    }

    // An empty list shows the box and keeps whatever the list showed before;
    // other views do not touch the list.
    void occupiedListKeepsItsText() {
        CFixiTunesFinished page;
        page.SetFixStatus(kFixStatus_UninstallFailedFileOccupied);
        QCOMPARE(child<QLabel>(&page, "labelList")->text(), QString());
        QVERIFY(!child(&page, "widget_fileIsOccupied")->isHidden());

        g_occupied = {L"C:\\a\\first.dll"};
        page.SetFixStatus(kFixStatus_RepairFailedFileOccupied);
        const QString filled = child<QLabel>(&page, "labelList")->text();
        QCOMPARE(filled, listLine(QStringLiteral("first.dll")));

        g_occupied.clear();
        page.SetFixStatus(kFixStatus_FixFailedUnknown);
        page.SetFixStatus(kFixStatus_UninstallFailedFileOccupied);
        QCOMPARE(child<QLabel>(&page, "labelList")->text(), filled);
        QVERIFY(!child(&page, "widget_fileIsOccupied")->isHidden());
    }

    // A page used without a main window reads an empty list.
    void occupiedListWithoutMainWindow() {
        CFixiTunesFinished::SetOccupiedFileSource({});
        CFixiTunesFinished page;
        page.SetFixStatus(kFixStatus_UninstallFailedFileOccupied);
        QCOMPARE(child<QLabel>(&page, "labelList")->text(), QString());
        QVERIFY(!child(&page, "widget_fileIsOccupied")->isHidden());
        CFixiTunesFinished::SetOccupiedFileSource([] { return g_occupied; });
    }

    // The note of view 0 leads back home; views 1 and 2 link the reinstall guide.
    void noteLinks() {
        repairtest::UrlCatcher catcher;
        CFixiTunesFinished page;
        QSignalSpy ok(&page, &CFixiTunesFinished::SignalOk);
        auto* note = child<QLabel>(&page, "label_SuccessNote");

        page.SetFixStatus(kFixStatus_FixSuccess);
        QCOMPARE(anchorsOf(note->text()), QStringList{QStringLiteral("other repair mode")});
        emit note->linkActivated(QStringLiteral("other repair mode"));
        QCOMPARE(ok.count(), 1);
        QVERIFY(catcher.urls.isEmpty());

        // Only the exact text goes home; anything else is a web address.
        page.SlotClickLink(QStringLiteral("Other repair mode"));
        QCOMPARE(ok.count(), 1);
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls.at(0).toString(), QStringLiteral("Other repair mode"));

        const QString guide =
            QStringLiteral("https://site.test/clean-itunes/download-the-latest-old-version-of-itunes/");
        for (int code : {kFixStatus_UninstallSuccess, kFixStatus_UninstallDeleteDataSuccess}) {
            page.SetFixStatus(code);
            QCOMPARE(anchorsOf(note->text()), QStringList{guide});
            QVERIFY(note->text().contains(QStringLiteral("click here")));
        }
        emit note->linkActivated(guide);
        QCOMPARE(catcher.urls.size(), 2);
        QCOMPARE(catcher.urls.at(1).toString(), guide);
        QCOMPARE(ok.count(), 1);
    }

    void shares_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("address");
        const QString text =
            QStringLiteral("&text=One%20click%20to%20fix%20iTunes%20issues%20and%20optimize%20iTunes%20performance!");
        QTest::newRow("Facebook") << "btnFaceBook"
                                  << "https://fb.test/sharer.php?u=http://site.test/repair-itunes/";
        QTest::newRow("Twitter") << "btnTwitter"
                                 << "https://tw.test/intent/tweet?url=https://site.test/repair-itunes/" + text;
        QTest::newRow("Google") << "btnGoogle"
                                << "https://gp.test/share?url=https://site.test/repair-itunes/" + text;
    }

    void shares() {
        QFETCH(QString, button);
        QFETCH(QString, address);
        repairtest::UrlCatcher catcher;
        CFixiTunesFinished page;
        page.SetFixStatus(kFixStatus_RepairDetectionSuccess);
        child<ZnStyleButton>(&page, qPrintable(button))->click();
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(QString::fromLatin1(catcher.urls.at(0).toEncoded()), address);
    }

    void tryAgainRoutes_data() {
        QTest::addColumn<int>("connector");  // 0 repair, 1 complete repair, 2 uninstall, -1 none
        QTest::addColumn<int>("singleFix");
        QTest::addColumn<int>("completeRepair");
        QTest::addColumn<int>("uninstall");
        QTest::newRow("component repair failed") << 0 << 1 << 0 << 0;
        QTest::newRow("complete repair failed") << 1 << 0 << 1 << 0;
        QTest::newRow("uninstall failed") << 2 << 0 << 0 << 1;
        QTest::newRow("no connector") << -1 << 0 << 0 << 0;
    }

    // The crossed names are intended: the component-repair connector sends
    // SignalTryAgainSingleFix, the complete-repair one SignalTryAgainRepair(true).
    void tryAgainRoutes() {
        QFETCH(int, connector);
        QFETCH(int, singleFix);
        QFETCH(int, completeRepair);
        QFETCH(int, uninstall);

        CFixiTunesFinished page;
        QSignalSpy single(&page, &CFixiTunesFinished::SignalTryAgainSingleFix);
        QSignalSpy repair(&page, &CFixiTunesFinished::SignalTryAgainRepair);
        QSignalSpy again(&page, &CFixiTunesFinished::SignalTryAgainUninstall);
        QSignalSpy ok(&page, &CFixiTunesFinished::SignalOk);
        if (connector == 0) page.ConnectTryAgainRepair();
        if (connector == 1) page.ConnectTryAgainOneKeyRepair();
        if (connector == 2) page.ConnectTryAgainUninstall();

        page.SetFixStatus(kFixStatus_FixFailedUnknown);
        child<ZnStyleButton>(&page, "pushButton_TryAgain")->click();
        QCOMPARE(single.count(), singleFix);
        QCOMPARE(repair.count(), completeRepair);
        if (completeRepair) QCOMPARE(repair.at(0).at(0).toBool(), true);
        QCOMPARE(again.count(), uninstall);

        child<ZnStyleButton>(&page, "pushButton_OK")->click();
        QCOMPARE(ok.count(), 1);
    }

    // Without a controller (a page on its own) Open iTunes does nothing.
    void openiTunesWithoutController() {
        CFixiTunesFinished page;
        page.SetFixStatus(kFixStatus_FixSuccess);
        const QString before = snapshot(&page);
        child<ZnStyleButton>(&page, "pushButton_OpeniTunes")->click();
        QCOMPARE(snapshot(&page), before);
    }
};

QTEST_MAIN(FixiTunesFinishedTest)
#include "tst_FixiTunesFinished.moc"
