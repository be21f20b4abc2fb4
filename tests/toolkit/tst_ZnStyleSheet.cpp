// Style-sheet functions, the no-focus delegates and the thin widget classes.
#include <QCheckBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

#include "toolkit/CNoFocusDelegate.h"
#include "toolkit/NoFocusDelegate.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnStyleLink.h"
#include "toolkit/ZnStyleScrollArea.h"
#include "toolkit/ZnStyleSheet.h"
#include "toolkit/ZnStyleTableWidget.h"

class tst_ZnStyleSheet : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { g_styleCommon.setFontFamily(QStringLiteral("Segoe UI")); }
    void pushButtonSheetOrder();
    void pushButtonSheetWithEmptyColour();
    void lastCallWins();
    void borderAndLineEdit();
    void tableViewSettings();
    void delegatesPaintWithoutFocus();
    void styleTableWidget();
    void scrollAreaReportsRunningSums();
    void linkUnderlinesOnHover();
    void elidedLabelText();
    void checkBoxIndicatorImages();
};

void tst_ZnStyleSheet::pushButtonSheetOrder() {
    QPushButton button;
    setPushButtonStyle(&button, "n.png", "h.png", "p.png", "d.png", "#111111", "#222222", "#333333", "#444444",
                       "/skin/button/");
    QCOMPARE(button.styleSheet(),
             QStringLiteral("QPushButton::hover{ color: #222222; border:0px 0px 0px 0px; background-image: "
                            "url(/skin/button/h.png);}"
                            "QPushButton::pressed{ color: #333333; border:0px 0px 0px 0px; background-image: "
                            "url(/skin/button/p.png);}"
                            "QPushButton::!enabled{ color: #444444; border:0px 0px 0px 0px; background-image: "
                            "url(/skin/button/d.png);}"
                            "QPushButton{ color: #111111; border:0px 0px 0px 0px; background-image: "
                            "url(/skin/button/n.png);}"));
}

void tst_ZnStyleSheet::pushButtonSheetWithEmptyColour() {
    QPushButton button;
    setPushButtonStyle(&button, "n.png", "h.png", "p.png", "d.png", "#111111", QString(), "#333333", "#444444", "/f/");
    QVERIFY(button.styleSheet().startsWith(
        QStringLiteral("QPushButton::hover{ color: ; border:0px 0px 0px 0px; background-image: url(/f/h.png);}"
                       "QPushButton::pressed{")));
}

void tst_ZnStyleSheet::lastCallWins() {
    QWidget w;
    setBottomBorderStyle(&w);
    QCOMPARE(w.styleSheet(), QStringLiteral("border-left:0px; border-right:0px; border-top:0px; border-bottom:1px "
                                            "solid rgb(229,229,229);"));
    setTopBorderStyle(&w);
    QCOMPARE(w.styleSheet(),
             QStringLiteral("border-left: 0px;border-right: 0px;border-top: 1px solid #e5e5e5;border-bottom: 0px;"));

    QScrollBar bar;
    setNarrowScrollBarStyle(&bar);
    QVERIFY(bar.styleSheet().contains(QStringLiteral("width: 6px")));
    setThinScrollBarStyle(&bar);
    QVERIFY(bar.styleSheet().startsWith(QStringLiteral("QScrollBar{background:transparent; width: 4px;")));
    QVERIFY(!bar.styleSheet().contains(QStringLiteral("width: 6px")));

    QScrollArea area;
    setScrollAreaStyle(&area);
    QVERIFY(area.verticalScrollBar()->styleSheet().startsWith(
        QStringLiteral("QScrollBar{background:transparent; width: 10px; min-width:6; min-height:10}")));
    QCOMPARE(area.styleSheet(), QString());
}

void tst_ZnStyleSheet::borderAndLineEdit() {
    QWidget w;
    setBorderStyle(&w, QStringLiteral("e5e5e5"), 2);
    QCOMPARE(w.styleSheet(), QStringLiteral("border:2px solid #e5e5e5;"));

    QLineEdit edit;
    setLineEditStyle(&edit);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(edit.palette().color(group, QPalette::Text), QColor(0x99, 0x99, 0x99));
    QCOMPARE(edit.styleSheet(), QStringLiteral("QLineEdit{border:0px;}"));

    QGridLayout grid;
    setGridSpacing(&grid);
    QCOMPARE(grid.horizontalSpacing(), 1);
    QCOMPARE(grid.verticalSpacing(), 1);
}

void tst_ZnStyleSheet::tableViewSettings() {
    QTableView view;
    setTableViewStyle(&view);
    QCOMPARE(view.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(view.verticalHeader()->isHidden());
    QCOMPARE(view.frameShape(), QFrame::NoFrame);
    QCOMPARE(view.selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(view.selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(view.editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!view.horizontalHeader()->sectionsClickable());
    QVERIFY(!view.horizontalHeader()->highlightSections());
    QCOMPARE(view.horizontalHeader()->height(), 40);
    QCOMPARE(view.horizontalHeader()->font().pixelSize(), 12);
    QVERIFY(!view.horizontalHeader()->font().bold());
    QVERIFY(dynamic_cast<CNoFocusDelegate*>(view.itemDelegate()));
    QVERIFY(view.verticalScrollBar()->styleSheet().contains(QStringLiteral("width: 4px")));

    setTableHeaderStyle(&view);
    QVERIFY(view.styleSheet().startsWith(QStringLiteral("color:rgb(102,102,102);")));
    QVERIFY(view.horizontalHeader()->styleSheet().contains(QStringLiteral("background-color:#ffffff;")));
}

void tst_ZnStyleSheet::delegatesPaintWithoutFocus() {
    QStandardItemModel model(1, 1);
    model.setItem(0, 0, new QStandardItem(QStringLiteral("Media files")));
    QTableView view;
    view.setModel(&model);
    view.resize(200, 60);

    auto paintCell = [&](const QStyledItemDelegate& delegate, QStyle::State state) {
        QImage img(120, 30, QImage::Format_ARGB32);
        img.fill(Qt::white);
        QPainter painter(&img);
        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.rect = img.rect();
        option.state = state | QStyle::State_Enabled | QStyle::State_Active;
        option.widget = &view;
        delegate.paint(&painter, option, model.index(0, 0));
        return img;
    };
    const QStyle::State focused = QStyle::State_Selected | QStyle::State_HasFocus;
    QStyledItemDelegate plain;
    // The test is meaningful only if the style draws a focus frame at all.
    QVERIFY(paintCell(plain, focused) != paintCell(plain, QStyle::State_Selected));

    CNoFocusDelegate noFocus;
    NoFocusDelegate noFocusObject(&view);
    QCOMPARE(paintCell(noFocus, focused), paintCell(plain, QStyle::State_Selected));
    QCOMPARE(paintCell(noFocusObject, focused), paintCell(plain, QStyle::State_Selected));
    QCOMPARE(noFocusObject.parent(), &view);
}

void tst_ZnStyleSheet::styleTableWidget() {
    ZnStyleTableWidget table;
    QVERIFY(table.verticalHeader()->isHidden());
    QCOMPARE(table.editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(table.selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(table.selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(!table.horizontalHeader()->sectionsClickable());
    QVERIFY(table.horizontalHeader()->stretchLastSection());
    QCOMPARE(table.horizontalHeader()->minimumHeight(), 34);
    QCOMPARE(table.font().pixelSize(), 14);
    QCOMPARE(table.horizontalHeader()->font().pixelSize(), 14);
    auto* delegate = qobject_cast<NoFocusDelegate*>(table.itemDelegate());
    QVERIFY(delegate);
    QCOMPARE(delegate->parent(), &table);
    // The vertical sheet keeps its missing semicolon.
    QVERIFY(table.verticalScrollBar()->styleSheet().contains(QStringLiteral("min-width:6 min-height:10}")));
    QVERIFY(table.styleSheet().startsWith(QStringLiteral("color: #787878;")));
}

void tst_ZnStyleSheet::scrollAreaReportsRunningSums() {
    ZnStyleScrollArea area;
    area.resize(200, 100);
    auto* content = new QWidget;
    content->resize(180, 1000);
    area.setWidget(content);
    area.show();
    QVERIFY(area.verticalScrollBar()->styleSheet().startsWith(QStringLiteral("QScrollBar{margin: 0px;")));
    QSignalSpy spy(&area, &ZnStyleScrollArea::signalScrollPoint);
    area.verticalScrollBar()->setValue(30);
    area.verticalScrollBar()->setValue(0);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0), (QList<QVariant>{0, -30}));
    QCOMPARE(spy.at(1), (QList<QVariant>{0, 0}));
}

void tst_ZnStyleSheet::linkUnderlinesOnHover() {
    ZnStyleLink link;
    const QString text = QStringLiteral("<a href=\"x\" style=\"text-decoration:none\">none of these</a>");
    link.setText(text);
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&link, &enter);
    // Every "none" changes, the visible words too.
    QCOMPARE(link.text(), QStringLiteral("<a href=\"x\" style=\"text-decoration:underline\">underline of these</a>"));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&link, &leave);
    QCOMPARE(link.text(), text);
    link.setText(QStringLiteral("NONE stays"));
    QApplication::sendEvent(&link, &enter);
    QCOMPARE(link.text(), QStringLiteral("NONE stays"));
}

void tst_ZnStyleSheet::elidedLabelText() {
    QLabel label;
    const QString text = QStringLiteral("C:/Users/Someone/Music/iTunes/iTunes Media/Mobile Applications");
    setElidedLabelText(&label, text, 10000);
    QCOMPARE(label.text(), text);
    QCOMPARE(label.toolTip(), text);
    setElidedLabelText(&label, text, 80);
    QVERIFY(label.text() != text);
    QVERIFY(label.text().endsWith(QChar(0x2026)));
    QVERIFY(QFontMetrics(QFont()).horizontalAdvance(label.text()) <= 80);
    QCOMPARE(label.toolTip(), text);
}

// Each indicator state shows its own image from the skin's "/checkbox/"
// folder; the sheet replaces whatever the box had.
void tst_ZnStyleSheet::checkBoxIndicatorImages() {
    QCheckBox box;
    box.setStyleSheet(QStringLiteral("color:red;"));
    setCheckBoxIndicatorStyle(&box, QStringLiteral("/skin"));
    const struct {
        const char* state;
        const char* image;
    } expected[] = {
        {"unchecked", "unchecked.png"},
        {"unchecked:hover", "uncheckedHover.png"},
        {"checked", "checked.png"},
        {"checked:hover", "checkedHover.png"},
        {"indeterminate", "partiallyChecked.png"},
        {"indeterminate:hover", "partiallyCheckedHover.png"},
        {"unchecked:disabled", "disable.png"},
    };
    const QString sheet = box.styleSheet();
    QVERIFY(!sheet.contains(QStringLiteral("color:red")));
    const QRegularExpression rule(QStringLiteral("QCheckBox::indicator:([a-z:]+) \\{ ?image: url\\(([^)]*)\\);\\}"));
    QStringList found;
    for (auto it = rule.globalMatch(sheet); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        found << m.captured(1) + QLatin1Char('=') + m.captured(2);
    }
    QStringList wanted;
    for (const auto& e : expected)
        wanted << QStringLiteral("%1=/skin/checkbox/%2").arg(QLatin1String(e.state), QLatin1String(e.image));
    QCOMPARE(found, wanted);
}

QTEST_MAIN(tst_ZnStyleSheet)
#include "tst_ZnStyleSheet.moc"
