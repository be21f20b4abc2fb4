// The updater's variant of the toolkit's widgets, against the main program's:
// image buttons that react to any mouse button and are flat, and a title bar
// whose caption is named "labelCaptionText" and whose close button shows the
// updater's images.
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

#include "toolkit/ZnStyleButton.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnStyleWidgetTitle.h"

class ZnUpdaterVariantTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { ZnStyleCommon::setToolkitVariant(ZnToolkitVariant::MainProgram); }

    void buttonClicks_data() {
        QTest::addColumn<bool>("updater");
        QTest::addColumn<bool>("rightButtonClicks");
        QTest::addColumn<bool>("flat");
        QTest::newRow("main program") << false << false << false;
        QTest::newRow("updater") << true << true << true;
    }
    void buttonClicks() {
        QFETCH(bool, updater);
        QFETCH(bool, rightButtonClicks);
        QFETCH(bool, flat);
        ZnStyleCommon::setToolkitVariant(updater ? ZnToolkitVariant::Updater : ZnToolkitVariant::MainProgram);
        ZnStyleButton button;
        button.resize(120, 32);
        button.setImages(QString(), QString(), QString(), QString());
        QCOMPARE(button.isFlat(), flat);
        QSignalSpy clicked(&button, &QPushButton::clicked);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QTest::mouseClick(&button, Qt::RightButton);
        QCOMPARE(clicked.count(), rightButtonClicks ? 2 : 1);
        button.setEnabled(false);
        const int before = clicked.count();
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicked.count(), before);
    }

    void titleBar() {
        ZnStyleWidgetTitle mainTitle;
        QVERIFY(!mainTitle.findChild<QLabel*>(QStringLiteral("labelCaptionText")));
        ZnStyleCommon::setToolkitVariant(ZnToolkitVariant::Updater);
        ZnStyleWidgetTitle updaterTitle;
        updaterTitle.setTitleText(QStringLiteral("Corvane"));
        auto* caption = updaterTitle.findChild<QLabel*>(QStringLiteral("labelCaptionText"));
        QVERIFY(caption);
        QCOMPARE(caption->text(), QStringLiteral("Corvane"));
    }
};

QTEST_MAIN(ZnUpdaterVariantTest)
#include "tst_ZnUpdaterVariant.moc"
