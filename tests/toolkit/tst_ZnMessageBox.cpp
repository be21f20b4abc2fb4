// The message box: buttons by mask, results, closing without a button, the
// title, links and the form.
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "ToolkitTestUtil.h"
#include "toolkit/ZnMessageBox.h"
#include "toolkit/ZnStyleButton.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnStyleWidgetTitle.h"
#include "platform/Programs.h"

namespace {

QPushButton* button(QWidget* box, const char* name) { return box->findChild<QPushButton*>(QLatin1String(name)); }

// Runs `action` on the modal box once it is up.
void whenModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        action(modal);
    });
}

void clickWithMouse(QWidget* w) {
    tk::press(w, QPoint(10, 10));
    tk::release(w, QPoint(10, 10));
}

QString captionOf(ZnMessageBox& box) {
    auto* title = box.findChild<ZnStyleWidgetTitle*>(QStringLiteral("widget"));
    const QList<QLabel*> labels = title->findChildren<QLabel*>();
    for (QLabel* l : labels)
        if (l->size() != QSize(21, 21)) return l->text();
    return QString();
}

}  // namespace

class UrlSink : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class tst_ZnMessageBox : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void maskShowsExactlyItsButtons_data();
    void maskShowsExactlyItsButtons();
    void eachButtonReturnsItsFlag_data();
    void eachButtonReturnsItsFlag();
    void escapeAndCloseButtonGiveZero();
    void titleRules();
    void linkOpensAndBoxStaysOpen();
    void buttonTexts();
    void formAndStyle();
    void iconAndSizes();

private:
    QTemporaryDir m_dir;
};

void tst_ZnMessageBox::initTestCase() {
    QVERIFY(m_dir.isValid());
    ZnStyleCommon::installPlatformFonts();
    g_styleCommon.setFontFamily(QStringLiteral("Segoe UI"));
    platform::setApplicationDir(m_dir.path());
    tk::writeSolidPng(m_dir.path(), "skin/Application/tip_mark.png", QColor(55, 125, 255), 38, 38);
    tk::writeSolidPng(m_dir.path(), "skin/Application/tip_fail.png", QColor(230, 60, 60), 38, 38);
}

void tst_ZnMessageBox::maskShowsExactlyItsButtons_data() {
    QTest::addColumn<int>("mask");
    QTest::addColumn<QStringList>("shown");
    const QString yes = "pushButton_yes", no = "pushButton_no", ok = "pushButton_ok", cancel = "pushButton_cancel";
    QTest::newRow("none") << 0 << QStringList{};
    QTest::newRow("Yes") << int(Yes) << QStringList{yes};
    QTest::newRow("No") << int(No) << QStringList{no};
    QTest::newRow("Ok") << int(Ok) << QStringList{ok};
    QTest::newRow("Cancel") << int(Cancel) << QStringList{cancel};
    QTest::newRow("Yes|No") << 3 << QStringList{yes, no};
    QTest::newRow("Ok|Cancel") << int(Ok | Cancel) << QStringList{ok, cancel};
    QTest::newRow("all") << 15 << QStringList{yes, no, ok, cancel};
    QTest::newRow("other bits ignored") << (0x30 | Ok) << QStringList{ok};
    QTest::newRow("only other bits") << 0x70 << QStringList{};
}

void tst_ZnMessageBox::maskShowsExactlyItsButtons() {
    QFETCH(int, mask);
    QFETCH(QStringList, shown);
    ZnMessageBox box(QStringLiteral("Text"), QStringLiteral("Title"), mask, nullptr);
    box.show();
    for (const char* name : {"pushButton_yes", "pushButton_no", "pushButton_ok", "pushButton_cancel"}) {
        QPushButton* b = button(&box, name);
        QVERIFY(b);
        QCOMPARE(b->isVisible(), shown.contains(QLatin1String(name)));
    }
}

void tst_ZnMessageBox::eachButtonReturnsItsFlag_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("result");
    QTest::newRow("Yes") << "pushButton_yes" << 1;
    QTest::newRow("No") << "pushButton_no" << 2;
    QTest::newRow("Ok") << "pushButton_ok" << 4;
    QTest::newRow("Cancel") << "pushButton_cancel" << 8;
}

void tst_ZnMessageBox::eachButtonReturnsItsFlag() {
    QFETCH(QString, name);
    QFETCH(int, result);
    ZnMessageBox box(QStringLiteral("Are you sure?"), QString(), Yes | No | Ok | Cancel, nullptr);
    QCOMPARE(box.getResult(), 0);
    whenModal([name](QWidget* modal) { clickWithMouse(modal->findChild<QPushButton*>(name)); });
    box.exec();
    QCOMPARE(box.getResult(), result);
    QVERIFY(!box.isVisible());
}

void tst_ZnMessageBox::escapeAndCloseButtonGiveZero() {
    {
        ZnMessageBox box(QStringLiteral("Text"), QStringLiteral("Title"), Cancel, nullptr);
        whenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        box.exec();
        QCOMPARE(box.getResult(), 0);
    }
    {
        ZnMessageBox box(QStringLiteral("Text"), QStringLiteral("Title"), 0, nullptr);
        whenModal([](QWidget* modal) {
            auto* title = modal->findChild<ZnStyleWidgetTitle*>(QStringLiteral("widget"));
            clickWithMouse(title->findChild<ZnStyleButton*>());
        });
        box.exec();
        QCOMPARE(box.getResult(), 0);
        QVERIFY(!box.isVisible());
    }
}

void tst_ZnMessageBox::titleRules() {
    ZnMessageBox empty(QStringLiteral("the message"), QString(), Ok, nullptr);
    QCOMPARE(captionOf(empty), QStringLiteral("Note"));
    ZnMessageBox blanks(QStringLiteral("the message"), QStringLiteral("  "), Ok, nullptr);
    QCOMPARE(captionOf(blanks), QStringLiteral("  "));
    // The message comes first, the title second.
    ZnMessageBox order(QStringLiteral("the message"), QStringLiteral("the title"), Ok, nullptr);
    QCOMPARE(captionOf(order), QStringLiteral("the title"));
    QCOMPARE(order.findChild<QLabel*>(QStringLiteral("label"))->text(), QStringLiteral("the message"));
    order.setText(QStringLiteral("changed"));
    QCOMPARE(order.findChild<QLabel*>(QStringLiteral("label"))->text(), QStringLiteral("changed"));
}

void tst_ZnMessageBox::linkOpensAndBoxStaysOpen() {
    UrlSink sink;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &sink, "open");
    ZnMessageBox box(QStringLiteral("See <a href=\"https://www.corvane.example/guide\">the guide</a>."),
                     QStringLiteral("Title"), Ok, nullptr);
    box.show();
    QLabel* label = box.findChild<QLabel*>(QStringLiteral("label"));
    QVERIFY(!label->openExternalLinks());
    emit label->linkActivated(QStringLiteral("https://www.corvane.example/guide"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(sink.urls, QList<QUrl>{QUrl(QStringLiteral("https://www.corvane.example/guide"))});
    QVERIFY(box.isVisible());
    QCOMPARE(box.getResult(), 0);
}

void tst_ZnMessageBox::buttonTexts() {
    ZnMessageBox box(QStringLiteral("Text"), QStringLiteral("Title"), 15, nullptr);
    box.setButtonText(3, QStringLiteral("Both"));
    QCOMPARE(button(&box, "pushButton_yes")->text(), QStringLiteral("Yes"));
    QCOMPARE(button(&box, "pushButton_no")->text(), QStringLiteral("No"));
    QCOMPARE(button(&box, "pushButton_ok")->text(), QStringLiteral("OK"));
    QCOMPARE(button(&box, "pushButton_cancel")->text(), QStringLiteral("Cancel"));
    box.setButtonText(Cancel, QStringLiteral("Stop"));
    QCOMPARE(button(&box, "pushButton_cancel")->text(), QStringLiteral("Stop"));
    box.setButtonTexts(QStringLiteral("Y"), QStringLiteral("N"), QStringLiteral("O"), QStringLiteral("C"));
    QCOMPARE(button(&box, "pushButton_yes")->text(), QStringLiteral("Y"));
    QCOMPARE(button(&box, "pushButton_no")->text(), QStringLiteral("N"));
    QCOMPARE(button(&box, "pushButton_ok")->text(), QStringLiteral("O"));
    QCOMPARE(button(&box, "pushButton_cancel")->text(), QStringLiteral("C"));
}

void tst_ZnMessageBox::formAndStyle() {
    ZnMessageBox box(QStringLiteral("Text"), QStringLiteral("Title"), 15, nullptr);
    QCOMPARE(box.objectName(), QStringLiteral("ZnMessageBox"));
    QCOMPARE(box.minimumSize(), QSize(490, 210));
    QCOMPARE(box.maximumSize(), QSize(490, 210));
    QVERIFY(box.windowFlags() & Qt::FramelessWindowHint);

    auto* title = box.findChild<ZnStyleWidgetTitle*>(QStringLiteral("widget"));
    QWidget* panel = box.findChild<QWidget*>(QStringLiteral("widget_2"));
    QVERIFY(title && panel);
    QCOMPARE(title->minimumSize(), QSize(480, 35));
    QCOMPARE(panel->maximumSize(), QSize(480, 160));
    QCOMPARE(title->styleSheet(), QStringLiteral("color: rgb(255, 255, 255);"));
    QCOMPARE(panel->styleSheet(), QStringLiteral("background-color: rgb(255, 255, 255);"));

    QLabel* label = box.findChild<QLabel*>(QStringLiteral("label"));
    QVERIFY(label->wordWrap());
    QCOMPARE(label->alignment(), Qt::Alignment(Qt::AlignLeft));
    QCOMPARE(label->styleSheet(), QStringLiteral("color:rgb(72, 72, 72);"));
    QCOMPARE(label->font().pixelSize(), 14);
    QVERIFY(!box.findChild<QLabel*>(QStringLiteral("label_icon"))->pixmap(Qt::ReturnByValue).isNull());

    // Yes and OK are styled by sheet, No and Cancel by images.
    const QString folder = m_dir.path() + QStringLiteral("/skin/button/");
    QPushButton* yes = button(&box, "pushButton_yes");
    QVERIFY(!qobject_cast<ZnStyleButton*>(yes));
    QVERIFY(yes->styleSheet().startsWith(
        QStringLiteral("QPushButton::hover{ color: #ffffff; border:0px 0px 0px 0px; background-image: url(") + folder +
        QStringLiteral("button100_30hover.png);}")));
    QVERIFY(yes->styleSheet().endsWith(QStringLiteral("QPushButton{ color: #377dff; border:0px 0px 0px 0px; "
                                                      "background-image: url(") +
                                       folder + QStringLiteral("button100_30normal.png);}")));
    QVERIFY(
        button(&box, "pushButton_ok")
            ->styleSheet()
            .endsWith(QStringLiteral("QPushButton{ color: #ffffff; border:0px 0px 0px 0px; background-image: url(") +
                      folder + QStringLiteral("button100_30normal2.png);}")));
    QCOMPARE(button(&box, "pushButton_no")->styleSheet(), QStringLiteral("color:rgb(250, 250, 250);"));
    QCOMPARE(button(&box, "pushButton_cancel")->styleSheet(),
             QStringLiteral("selection-color: rgb(64, 136, 255);\ncolor: rgb(64, 136, 255);"));
    for (const char* name : {"pushButton_yes", "pushButton_no", "pushButton_ok", "pushButton_cancel"})
        QCOMPARE(button(&box, name)->font().pixelSize(), 13);
    QVERIFY(yes->autoDefault());
    QVERIFY(button(&box, "pushButton_ok")->autoDefault());
}

void tst_ZnMessageBox::iconAndSizes() {
    ZnMessageBox box(QStringLiteral("Text"), QStringLiteral("Title"), Ok, nullptr);
    QLabel* icon = box.findChild<QLabel*>(QStringLiteral("label_icon"));
    const QImage before = icon->pixmap(Qt::ReturnByValue).toImage();
    box.setIcon(QStringLiteral("/Application/tip_fail.png"));
    QCOMPARE(icon->pixmap(Qt::ReturnByValue).toImage().pixelColor(19, 19), QColor(230, 60, 60));
    QVERIFY(before.pixelColor(19, 19) != QColor(230, 60, 60));

    box.setBoxSize(510, 230, 510, 230);
    box.setOuterWidgetSize(500, 35, 500, 35);
    box.setInnerWidgetSize(500, 180, 500, 180);
    QCOMPARE(box.maximumSize(), QSize(510, 230));
    QCOMPARE(box.findChild<QWidget*>(QStringLiteral("widget"))->maximumSize(), QSize(500, 35));
    QCOMPARE(box.findChild<QWidget*>(QStringLiteral("widget_2"))->minimumSize(), QSize(500, 180));

    box.setOkButtonImages();
    QCOMPARE(button(&box, "pushButton_ok")->maximumSize(), QSize(105, 21));
}

QTEST_MAIN(tst_ZnMessageBox)
#include "tst_ZnMessageBox.moc"
