// The repair guide: what each scene shows, the delete-user-data choice and the
// scene getters.
#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

#include "repair/AdvancedRepairGuide.h"
#include "RepairTestSupport.h"
#include "toolkit/ZnStyleButton.h"

namespace {

const char* const kButtons[] = {"pushButton_quickScan", "pushButton_deepScan", "pushButton_uninstall",
                                "pushButton_repair"};

QString descriptionHtml(const QString& sentence) {
    return QStringLiteral(
               "<html><head/><body><p style=\"height:16px;line-height:24px;color:#787878\"> %1</p></body></html>")
        .arg(sentence);
}

}  // namespace

class AdvancedRepairGuideTest : public QObject {
    Q_OBJECT

private:
    template <typename T>
    static T* child(QWidget* page, const char* name) {
        T* w = page->findChild<T*>(QLatin1String(name));
        if (!w) qFatal("missing child %s", name);
        return w;
    }
    static QStringList shownButtons(QWidget* page) {
        QStringList shown;
        for (const char* name : kButtons)
            if (!child<QWidget>(page, name)->isHidden()) shown << QLatin1String(name);
        return shown;
    }

private slots:
    void initTestCase() { repairtest::initStyle(); }

    void scenes_data() {
        QTest::addColumn<int>("scene");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<bool>("deleteChoice");

        const QStringList repair{QStringLiteral("pushButton_repair")};
        QTest::newRow("0 quick clean") << 0 << "Quickly Clean iTunes"
                                       << "One click to release iTunes space and optimize iTunes performance."
                                       << QStringList{QStringLiteral("pushButton_quickScan")} << false;
        QTest::newRow("1 deep clean")
            << 1 << "Deeply Clean iTunes"
            << "Deep cleanup of iTunes cleans all iTunes data and also backups created by 3rd-party software."
            << QStringList{QStringLiteral("pushButton_deepScan")} << false;
        QTest::newRow("2 full uninstall") << 2 << "Completely Uninstall iTunes"
                                          << "Thorough uninstallation of iTunes will remove iTunes and related "
                                             "software components from your computer."
                                          << QStringList{QStringLiteral("pushButton_uninstall")} << true;
        QTest::newRow("3 connect issues") << 3 << "Repair iTunes Connect Issues"
                                          << "Fix iTunes cannot recogize your device for error OxE, invalid "
                                             "response, missing value, or other unknown errors."
                                          << repair << false;
        QTest::newRow("4 install/update")
            << 4 << "Fix iTunes Install/Update Issues"
            << "Repair all the issues related to iTunes installation or updates, for example, iTunes/Helper was "
               "not installed correctly, service failed to start, installer has insufficient privileges, etc."
            << repair << false;
        QTest::newRow("5 backup/restore")
            << 5 << "Repair Backup/Restore Errors"
            << "Had issues when you tried to back up your device or restore backup? Don't worry, click \"Repair\" "
               "to fix all the errors or unknown problems occurred."
            << repair << false;
        QTest::newRow("6 other") << 6 << "Fix Other iTunes Problems"
                                 << "If your iTunes runs abnormally or you would like to have a better experience "
                                    "with iTunes, click \"Repair\" to optimize your iTunes."
                                 << repair << false;
    }

    // Each scene shows its title, description and only its own button; any
    // scene may follow any other.
    void scenes() {
        QFETCH(int, scene);
        QFETCH(QString, title);
        QFETCH(QString, description);
        QFETCH(QStringList, buttons);
        QFETCH(bool, deleteChoice);

        CAdvancedRepairGuide page;
        for (int previous : {2, 0, 6}) {
            page.SetFixScene(previous);
            page.SetFixScene(scene);
            QCOMPARE(child<QLabel>(&page, "label_title")->text(), title);
            QCOMPARE(child<QLabel>(&page, "label_text")->text(), descriptionHtml(description));
            QCOMPARE(shownButtons(&page), buttons);
            QCOMPARE(!child<QWidget>(&page, "checkBox_deleteUserData")->isHidden(), deleteChoice);
            QCOMPARE(!child<QWidget>(&page, "labelCheckDelData")->isHidden(), deleteChoice);
            QCOMPARE(page.GetFixScene(), enumFixScene(scene));
        }
    }

    // Showing the uninstall scene unchecks the box and clears the choice;
    // other scenes leave the choice as it was.
    void deleteUserDataChoice() {
        CAdvancedRepairGuide page;
        QVERIFY(!page.IsDeleteUserData());
        auto* box = child<QCheckBox>(&page, "checkBox_deleteUserData");

        page.SetFixScene(kFixScene_FullUninstall);
        box->setCheckState(Qt::Checked);
        QVERIFY(page.IsDeleteUserData());

        page.SetFixScene(kFixScene_RepairOther);
        QVERIFY(box->isHidden());
        QVERIFY(page.IsDeleteUserData());

        page.SetFixScene(kFixScene_FullUninstall);
        QCOMPARE(box->checkState(), Qt::Unchecked);
        QVERIFY(!page.IsDeleteUserData());

        box->setTristate(true);
        box->setCheckState(Qt::PartiallyChecked);
        QVERIFY(!page.IsDeleteUserData());
        box->setCheckState(Qt::Checked);
        QVERIFY(page.IsDeleteUserData());
    }

    void repairScene_data() {
        QTest::addColumn<int>("scene");
        QTest::addColumn<int>("repairScene");
        for (int scene = 0; scene <= 6; ++scene) QTest::addRow("scene %d", scene) << scene << (scene >= 3 ? scene : 0);
        QTest::newRow("7") << 7 << 0;
        QTest::newRow("-1") << -1 << 0;
    }

    void repairScene() {
        QFETCH(int, scene);
        QFETCH(int, repairScene);
        CAdvancedRepairGuide page;
        page.SetFixScene(scene);
        QCOMPARE(page.GetRepairScene(), repairScene);
        QCOMPARE(int(page.GetFixScene()), scene);
    }

    // An unknown scene is stored but leaves the previous scene on screen.
    void unknownSceneKeepsPage_data() {
        QTest::addColumn<int>("scene");
        QTest::newRow("7") << 7;
        QTest::newRow("-1") << -1;
    }

    void unknownSceneKeepsPage() {
        QFETCH(int, scene);
        CAdvancedRepairGuide page;
        page.SetFixScene(kFixScene_RepairInstallUpdate);
        page.SetFixScene(scene);
        QCOMPARE(int(page.GetFixScene()), scene);
        QCOMPARE(child<QLabel>(&page, "label_title")->text(), QStringLiteral("Fix iTunes Install/Update Issues"));
        QCOMPARE(shownButtons(&page), QStringList{QStringLiteral("pushButton_repair")});
    }

    // Each button becomes its signal; the repair button always asks for the
    // complete repair.
    void buttonsEmitTheirSignals() {
        CAdvancedRepairGuide page;
        QSignalSpy home(&page, &CAdvancedRepairGuide::SignalBackHome);
        QSignalSpy quick(&page, &CAdvancedRepairGuide::SignalCleaniTunesQuickly);
        QSignalSpy deep(&page, &CAdvancedRepairGuide::SignalCleaniTunesDeeply);
        QSignalSpy uninstall(&page, &CAdvancedRepairGuide::SignalCompletelyUninstalliTunes);
        QSignalSpy repair(&page, &CAdvancedRepairGuide::SignalRepairiTunes);

        child<ZnStyleButton>(&page, "pushButton_backHome")->click();
        child<ZnStyleButton>(&page, "pushButton_quickScan")->click();
        child<ZnStyleButton>(&page, "pushButton_deepScan")->click();
        child<ZnStyleButton>(&page, "pushButton_uninstall")->click();
        QCOMPARE(home.count(), 1);
        QCOMPARE(quick.count(), 1);
        QCOMPARE(deep.count(), 1);
        QCOMPARE(uninstall.count(), 1);
        QCOMPARE(repair.count(), 0);

        for (int scene = kFixScene_RepairDetection; scene <= kFixScene_RepairOther; ++scene) {
            page.SetFixScene(scene);
            child<ZnStyleButton>(&page, "pushButton_repair")->click();
        }
        QCOMPARE(repair.count(), 4);
        for (const QList<QVariant>& args : repair) QCOMPARE(args.at(0).toBool(), true);
    }
};

QTEST_MAIN(AdvancedRepairGuideTest)
#include "tst_AdvancedRepairGuide.moc"
