// The cleaning result page: its three views, what one view leaves for the
// next on the same page, its signals and the share addresses.
#include <QLayout>
#include <QMovie>
#include <QSignalSpy>
#include <QUrlQuery>
#include <QtTest>

#include "CleanTestSupport.h"
#include "clean/CleaniTunesUserDataFinished.h"
#include "toolkit/ZnStyleButton.h"

using namespace cleantest;

namespace {

enum View { Success, Failed, Occupied };

void showView(CCleaniTunesUserDataFinished& page, int view, qint64 size = 0,
              enumFixScene scene = kFixScene_QuickClean) {
    if (view == Success)
        page.InitCleanSuccessView(size);
    else if (view == Failed)
        page.InitCleanFailedView(scene);
    else
        page.InitCleanFileOccupiedView(size);
}

// The shown elements as a string of S and H, in this order.
const char* const kElements[] = {"widget_size",           "pushButton_TryAgain", "label_unknown",
                                 "widget_fileIsOccupied", "widget_share",        "pushButton_OK"};

QString visibility(QWidget* page) {
    QString s;
    for (const char* name : kElements) s += child(page, name)->isHidden() ? QLatin1Char('H') : QLatin1Char('S');
    return s;
}

}  // namespace

Q_DECLARE_METATYPE(enumFixScene)

class CleaniTunesUserDataFinishedTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        initEnvironment();
        qRegisterMetaType<enumFixScene>();
    }

    void views_data() {
        QTest::addColumn<int>("view");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("animated");
        QTest::newRow("cleaned") << int(Success) << "Successfully Cleaned!"
                                 << "SHHHSS" << 100 << true;
        QTest::newRow("failed") << int(Failed) << "Cleaned Failed."
                                << "HSSHHS" << 110 << false;
        QTest::newRow("files in use") << int(Occupied) << "Cleanup Completed."
                                      << "SHHSSS" << 100 << true;
    }
    void views() {
        QFETCH(int, view);
        QFETCH(QString, title);
        QFETCH(QString, shown);
        QFETCH(int, height);
        QFETCH(bool, animated);
        CCleaniTunesUserDataFinished page;
        page.show();
        showView(page, view, 3 * kGiB / 2);
        QCOMPARE(text(&page, "label_title"), title);
        QCOMPARE(visibility(&page), shown);
        QCOMPARE(child(&page, "widget")->maximumHeight(), height);
        QCOMPARE(child(&page, "widget")->minimumHeight(), height);
        auto* image = child<QLabel>(&page, "label_image");
        if (animated) {
            QVERIFY(image->movie());
            QCOMPARE(image->movie()->fileName(), QStringLiteral(ZN_APP_DIR "/skin/gif/cleanCompleted.gif"));
            QCOMPARE(image->movie()->state(), QMovie::Running);
            QCOMPARE(text(&page, "label_size"), QStringLiteral("1.50GB"));
            QCOMPARE(text(&page, "label_text"), QStringLiteral("has been released."));
        } else {
            QVERIFY(!image->movie());
            QVERIFY(!image->pixmap(Qt::ReturnByValue).isNull());
            QCOMPARE(
                text(&page, "label_unknown"),
                QStringLiteral("It failed to clean iTunes because an unknown error occurred. Please try it again."));
        }
    }

    void sequencesOnOnePage_data() {
        QTest::addColumn<QList<int>>("views");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("topMargin");
        QTest::newRow("files in use after failed") << QList<int>{Failed, Occupied} << "SHHSHS" << 60;
        QTest::newRow("failed after files in use") << QList<int>{Occupied, Failed} << "HSSHHS" << 60;
        QTest::newRow("cleaned after files in use") << QList<int>{Occupied, Success} << "SHHHSS" << 60;
        QTest::newRow("cleaned after failed") << QList<int>{Failed, Success} << "SHHHHS" << 0;
    }
    void sequencesOnOnePage() {
        QFETCH(QList<int>, views);
        QFETCH(QString, shown);
        QFETCH(int, topMargin);
        CCleaniTunesUserDataFinished page;
        page.show();
        const int top = child<QLayout>(&page, "verticalLayout_7")->contentsMargins().top();
        for (int view : views) showView(page, view, 2 * kMiB);
        QCOMPARE(visibility(&page), shown);
        // The share row and the top margin keep what the last view that set them left.
        QCOMPARE(child<QLayout>(&page, "verticalLayout_7")->contentsMargins().top(), topMargin ? topMargin : top);
    }

    void occupiedViewButtonImage() {
        CCleaniTunesUserDataFinished page;
        page.show();
        page.InitCleanFileOccupiedView(kMiB);
        QCOMPARE(child<QLayout>(&page, "verticalLayout_7")->contentsMargins(), QMargins(0, 60, 0, 0));
        QCOMPARE(text(&page, "label_fileIsOccupiedTitle"), QStringLiteral("It failed to clean some files."));
        QCOMPARE(text(&page, "label_fileIsOccupiedText"),
                 QStringLiteral("If you want to remove them, please restart your PC and try it again."));
        QSignalSpy occupied(&page, &CCleaniTunesUserDataFinished::SignalFileOccupied);
        static_cast<QAbstractButton*>(child(&page, "pushButton_fileOccupied"))->click();
        QCOMPARE(occupied.count(), 1);
    }

    void tryAgainSendsTheKeptScene_data() {
        QTest::addColumn<int>("scene");
        QTest::newRow("quick clean") << int(kFixScene_QuickClean);
        QTest::newRow("deep clean") << int(kFixScene_DeepClean);
    }
    void tryAgainSendsTheKeptScene() {
        QFETCH(int, scene);
        CCleaniTunesUserDataFinished page;
        page.show();
        page.InitCleanFailedView(static_cast<enumFixScene>(scene));
        // Another view in between does not change the kept scene.
        page.InitCleanFileOccupiedView(kMiB);
        page.InitCleanFailedView(static_cast<enumFixScene>(scene));
        QSignalSpy tryAgain(&page, &CCleaniTunesUserDataFinished::SignalTryAgain);
        QSignalSpy home(&page, &CCleaniTunesUserDataFinished::SignalOkToHome);
        static_cast<QAbstractButton*>(child(&page, "pushButton_TryAgain"))->click();
        QCOMPARE(tryAgain.count(), 1);
        QCOMPARE(tryAgain.at(0).at(0).value<enumFixScene>(), static_cast<enumFixScene>(scene));
        QCOMPARE(home.count(), 0);
    }

    void okGoesHome() {
        CCleaniTunesUserDataFinished page;
        page.show();
        QSignalSpy home(&page, &CCleaniTunesUserDataFinished::SignalOkToHome);
        QSignalSpy tryAgain(&page, &CCleaniTunesUserDataFinished::SignalTryAgain);
        QSignalSpy occupied(&page, &CCleaniTunesUserDataFinished::SignalFileOccupied);

        page.InitCleanSuccessView(kMiB);
        QMovie* movie = child<QLabel>(&page, "label_image")->movie();
        static_cast<QAbstractButton*>(child(&page, "pushButton_OK"))->click();
        QCOMPARE(home.count(), 1);
        QCOMPARE(movie->state(), QMovie::NotRunning);

        // After the failed view there is no animation to stop.
        page.InitCleanFailedView(kFixScene_DeepClean);
        static_cast<QAbstractButton*>(child(&page, "pushButton_OK"))->click();
        QCOMPARE(home.count(), 2);
        QCOMPARE(tryAgain.count(), 0);
        QCOMPARE(occupied.count(), 0);
    }

    void shareAddresses_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("pageKey");
        QTest::newRow("Facebook") << "btnFaceBook"
                                  << "www.facebook.com"
                                  << "/sharer.php"
                                  << "u";
        QTest::newRow("Twitter") << "btnTwitter"
                                 << "twitter.com"
                                 << "/intent/tweet"
                                 << "url";
        QTest::newRow("Google+") << "btnGoogle"
                                 << "plus.google.com"
                                 << "/share"
                                 << "url";
    }
    void shareAddresses() {
        QFETCH(QString, button);
        QFETCH(QString, host);
        QFETCH(QString, path);
        QFETCH(QString, pageKey);
        qputenv("CORVANE_WEB_SITE", "https://www.corvane.test");
        UrlCatcher catcher;
        CCleaniTunesUserDataFinished page;
        page.InitCleanSuccessView(kMiB);
        static_cast<QAbstractButton*>(child(&page, button.toLatin1().constData()))->click();
        QCOMPARE(catcher.urls.size(), 1);
        const QUrl url = catcher.urls.first();
        QCOMPARE(url.host(), host);
        QCOMPARE(url.path(), path);
        const QUrlQuery query(url);
        QCOMPARE(query.queryItemValue(pageKey), QStringLiteral("https://www.corvane.test/repair-itunes/"));
        if (pageKey == QLatin1String("url")) {
            // The text goes out encoded as it stands.
            QVERIFY(
                url.toString(QUrl::FullyEncoded)
                    .endsWith(QStringLiteral(
                        "&text=One%20click%20to%20fix%20iTunes%20issues%20and%20optimize%20iTunes%20performance!")));
            QCOMPARE(query.queryItemValue(QStringLiteral("text"), QUrl::FullyDecoded),
                     QStringLiteral("One click to fix iTunes issues and optimize iTunes performance!"));
        }
        qunsetenv("CORVANE_WEB_SITE");
    }
};

QTEST_MAIN(CleaniTunesUserDataFinishedTest)
#include "tst_CleaniTunesUserDataFinished.moc"
