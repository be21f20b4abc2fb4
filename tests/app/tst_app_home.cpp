// The home page: each tile reports its task, hovering colours the tile's title
// and swaps its picture, and the version line names the installed iTunes.
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

#include "AppTestSupport.h"
#include "app/FixiTunesHome.h"
#include "toolkit/ZnStyleButtonWidget.h"

Q_DECLARE_METATYPE(enumFixScene)

namespace {

const QColor kHover(0x37, 0x7d, 0xff);
const QColor kNormal(0x48, 0x48, 0x48);
const QColor kDescription(120, 120, 120);

// Tile object, its title label and the scene it reports, in scene order.
struct Tile {
    const char* tile;
    const char* title;
    const char* description;  // null for the repair tiles
};
const Tile kTiles[] = {
    {"widget_CleaniTunesQuickly", "label_quitCleanTitle", "label_quitCleanText"},
    {"widget_CleaniTunesDeeply", "label_deepCleanTitle", "label_deepCleanText"},
    {"widget_UninstalliTunesCompletely", "label_fullUninstallTitle", "label_fullUninstallText"},
    {"widget_RepairFailediDeviceDetection", "label_repairiDeviceDetection", nullptr},
    {"widget_FixiTunesInstallUpdateIssues", "label_fixUpdateIssues", nullptr},
    {"widget_RepairBackupRestoreErrors", "label_repairRestoreError", nullptr},
    {"widget_FixOtheriTunesProblems", "label_fixOtheriTunes", nullptr},
};

QColor textColour(QLabel* label) {
    label->ensurePolished();
    return label->palette().color(QPalette::WindowText);
}

void sendEnter(QWidget* w) {
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(w, &enter);
}
void sendLeave(QWidget* w) {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w, &leave);
}

}  // namespace

class TestHome : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        qRegisterMetaType<enumFixScene>("enumFixScene");
        platform::setApplicationDir(QStringLiteral(ZN_APP_DIR));
        apptest::initStyle(QStringLiteral(ZN_APP_DIR));
        QVERIFY2(QFileInfo::exists(QStringLiteral(ZN_APP_DIR "/skin/Application/quickClean_hover.png")),
                 "the skin is not in the application folder");
    }

    void init() {
        m_page = new CFixiTunesHome;
        m_page->resize(1000, 577);
        m_page->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_page));
    }
    void cleanup() { delete m_page; }

    void eachTileEmitsItsScene_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < 7; ++i) QTest::newRow(kTiles[i].tile) << i;
    }
    void eachTileEmitsItsScene() {
        QFETCH(int, index);
        QSignalSpy spy(m_page, &CFixiTunesHome::SignalFixiTunesScene);
        auto* tile = m_page->findChild<ZnStyleButtonWidget*>(QLatin1String(kTiles[index].tile));
        QVERIFY(tile);
        QTest::mouseClick(tile, Qt::LeftButton, Qt::NoModifier, QPoint(tile->width() / 2, tile->height() / 2));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(static_cast<int>(spy.at(0).at(0).value<enumFixScene>()), index);
        // A press alone reports nothing; the report comes with the release.
        QTest::mousePress(tile, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QCOMPARE(spy.count(), 1);
        QTest::mouseRelease(tile, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QCOMPARE(spy.count(), 2);
    }

    void tilesStartWithTheNormalTitleColour() {
        for (const Tile& t : kTiles) {
            auto* title = m_page->findChild<QLabel*>(QLatin1String(t.title));
            QVERIFY(title);
            QCOMPARE(textColour(title), kNormal);
            if (t.description) {
                auto* description = m_page->findChild<QLabel*>(QLatin1String(t.description));
                QCOMPARE(textColour(description), kDescription);
            }
        }
    }

    void hoverColoursOnlyTheHoveredTitle_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < 7; ++i) QTest::newRow(kTiles[i].tile) << i;
    }
    void hoverColoursOnlyTheHoveredTitle() {
        QFETCH(int, index);
        auto* tile = m_page->findChild<ZnStyleButtonWidget*>(QLatin1String(kTiles[index].tile));
        sendEnter(tile);
        for (int i = 0; i < 7; ++i) {
            auto* title = m_page->findChild<QLabel*>(QLatin1String(kTiles[i].title));
            QCOMPARE(textColour(title), i == index ? kHover : kNormal);
            if (kTiles[i].description) {
                // The descriptions keep their own grey, hovered or not.
                QCOMPARE(textColour(m_page->findChild<QLabel*>(QLatin1String(kTiles[i].description))), kDescription);
            }
        }
        sendLeave(tile);
        QCOMPARE(textColour(m_page->findChild<QLabel*>(QLatin1String(kTiles[index].title))), kNormal);
    }

    void movingFromTileToTileMovesTheHighlight() {
        auto* first = m_page->findChild<ZnStyleButtonWidget*>(QLatin1String(kTiles[0].tile));
        auto* second = m_page->findChild<ZnStyleButtonWidget*>(QLatin1String(kTiles[1].tile));
        sendEnter(first);
        sendLeave(first);
        sendEnter(second);
        QCOMPARE(textColour(m_page->findChild<QLabel*>(QLatin1String(kTiles[0].title))), kNormal);
        QCOMPARE(textColour(m_page->findChild<QLabel*>(QLatin1String(kTiles[1].title))), kHover);
    }

    // A tile gets no leave event when the page is hidden under the pointer (a
    // tile was clicked) or a dialog or menu opens over it: it loses its hover
    // look then too, picture and title.
    void hoverEndsWithoutALeaveEvent_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("page hidden") << "hide";
        QTest::newRow("window deactivated") << "deactivate";
        QTest::newRow("asked by the main window") << "clear";
    }
    void hoverEndsWithoutALeaveEvent() {
        QFETCH(QString, how);
        // The page inside a window, as the main window holds it.
        QWidget window;
        window.resize(1000, 577);
        m_page->setParent(&window);
        m_page->show();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* tile = m_page->findChild<ZnStyleButtonWidget*>(QLatin1String(kTiles[2].tile));
        auto* title = m_page->findChild<QLabel*>(QLatin1String(kTiles[2].title));
        const QImage normal = tile->grab().toImage();
        sendEnter(tile);
        QCOMPARE(textColour(title), kHover);
        QVERIFY(tile->grab().toImage() != normal);

        if (how == QLatin1String("hide")) {
            m_page->hide();
            m_page->show();
        } else if (how == QLatin1String("deactivate")) {
            QEvent deactivate(QEvent::WindowDeactivate);
            QApplication::sendEvent(&window, &deactivate);
        } else {
            m_page->ClearTileHover();
        }
        QCOMPARE(textColour(title), kNormal);
        QCOMPARE(tile->grab().toImage(), normal);
        m_page->setParent(nullptr);
    }

    // The hovered tile shows its hover picture; a pressed tile shows its normal
    // picture again.
    void hoverSwapsThePictureAndPressShowsTheNormalOne_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < 7; ++i) QTest::newRow(kTiles[i].tile) << i;
    }
    void hoverSwapsThePictureAndPressShowsTheNormalOne() {
        QFETCH(int, index);
        auto* tile = m_page->findChild<ZnStyleButtonWidget*>(QLatin1String(kTiles[index].tile));
        // Only the picture is compared: the titles' colours are set to one value.
        for (QLabel* label : tile->findChildren<QLabel*>()) label->hide();
        const QImage normal = tile->grab().toImage();
        sendEnter(tile);
        const QImage hover = tile->grab().toImage();
        QVERIFY2(hover != normal, "the hovered tile shows the same picture");
        QTest::mousePress(tile, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QCOMPARE(tile->grab().toImage(), normal);
        QTest::mouseRelease(tile, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    }

    void versionLine_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no iTunes") << QString() << QStringLiteral("No iTunes on Your PC");
        QTest::newRow("installed") << QStringLiteral("12.7.2.60") << QStringLiteral("iTunes Version: 12.7.2.60");
        QTest::newRow("text kept as given")
            << QStringLiteral(" 12.9 beta ") << QStringLiteral("iTunes Version:  12.9 beta ");
    }
    void versionLine() {
        QFETCH(QString, version);
        QFETCH(QString, shown);
        m_page->SetiTunesVersion(version);
        QCOMPARE(m_page->findChild<QLabel*>(QStringLiteral("label_version"))->text(), shown);
    }

    void pageShowsTheiTunesIcon() {
        auto* image = m_page->findChild<QLabel*>(QStringLiteral("label_image"));
        QVERIFY(!image->pixmap(Qt::ReturnByValue).isNull());
        QCOMPARE(image->size(), QSize(64, 64));
    }

private:
    CFixiTunesHome* m_page = nullptr;
};

QTEST_MAIN(TestHome)
#include "tst_app_home.moc"
