#include "toolkit/ZnStyleSheet.h"

#include <QAbstractScrollArea>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTableView>

#include "toolkit/CNoFocusDelegate.h"

namespace {

const char kThinSheet[] =
    "QScrollBar{background:transparent; width: 4px; min-width:4;min-height:30}"
    "QScrollBar::handle{background:#d8d8d8; border:2px solid transparent;min-height:40px;}"
    "QScrollBar::handle:hover{background:#c4c4c4;min-height:40px;}"
    "QScrollBar::sub-line{background:transparent;}QScrollBar::add-line{background:transparent;}";

const char kNarrowSheet[] =
    "QScrollBar{background:transparent; width: 6px; min-width:6;min-height:10;}"
    "QScrollBar::handle{background:#d8d8d8; border:2px solid transparent;min-height:40px;}"
    "QScrollBar::handle:hover{background:#c4c4c4;min-height:40px;}"
    "QScrollBar::sub-line{background:transparent;}QScrollBar::add-line{background:transparent;}"
    "QScrollBar{background:transparent; height: 30px; min-width:6;min-height:30;}"
    "QScrollBar::handle{background:#d8d8d8; border:2px solid transparent;min-height:40px;}"
    "QScrollBar::handle:hover{background:#c4c4c4;min-height:40px;}"
    "QScrollBar::sub-line{background:transparent;}QScrollBar::add-line{background:transparent;}";

const char kGreySheet[] =
    "QScrollBar{background:transparent; width: 10px; min-width:10; min-height:10}"
    "QScrollBar::handle{background:lightgray; border:2px solid transparent; border-radius:5px;}"
    "QScrollBar::handle:hover{background:gray;}"
    "QScrollBar::sub-line{background:transparent;}QScrollBar::add-line{background:transparent;}"
    "QScrollBar{background:transparent; height:10px; min-width:10; min-height:10}"
    "QScrollBar::handle{background:lightgray; border:2px solid transparent; border-radius:5px;}"
    "QScrollBar::handle:hover{background:gray;}"
    "QScrollBar::sub-line{background:transparent;}QScrollBar::add-line{background:transparent;}";

const char kScrollAreaSheet[] =
    "QScrollBar{background:transparent; width: 10px; min-width:6; min-height:10}"
    "QScrollBar::handle{background:lightgray; border:2px solid transparent; border-radius:5px;}"
    "QScrollBar::handle:hover{background:gray;}"
    "QScrollBar::sub-line{background:transparent;}QScrollBar::add-line{background:transparent;}"
    "QScrollBar{background:transparent; height:10px; min-width:6; min-height:10}"
    "QScrollBar::handle{background:lightgray; border:2px solid transparent; border-radius:5px;}"
    "QScrollBar::handle:hover{background:gray;}"
    "QScrollBar::sub-line{background:transparent;}QScrollBar::add-line{background:transparent;}";

// One rule per indicator state, with its image under the skin folder.
const char* const kCheckBoxRules[][2] = {
    {"QCheckBox::indicator:unchecked { image: url(%1);}", "/checkbox/unchecked.png"},
    {"QCheckBox::indicator:unchecked:hover {image: url(%1);}", "/checkbox/uncheckedHover.png"},
    {"QCheckBox::indicator:checked {image: url(%1);}", "/checkbox/checked.png"},
    {"QCheckBox::indicator:checked:hover {image: url(%1);}", "/checkbox/checkedHover.png"},
    {"QCheckBox::indicator:indeterminate {image: url(%1);}", "/checkbox/partiallyChecked.png"},
    {"QCheckBox::indicator:indeterminate:hover {image: url(%1);}", "/checkbox/partiallyCheckedHover.png"},
    {"QCheckBox::indicator:unchecked:disabled {image: url(%1);}", "/checkbox/disable.png"},
};

}  // namespace

void setThinScrollBarStyle(QWidget* scrollBar) { scrollBar->setStyleSheet(QLatin1String(kThinSheet)); }

void setNarrowScrollBarStyle(QWidget* scrollBar) { scrollBar->setStyleSheet(QLatin1String(kNarrowSheet)); }

void setGreyScrollBarStyle(QWidget* scrollBar) { scrollBar->setStyleSheet(QLatin1String(kGreySheet)); }

void setScrollAreaStyle(QAbstractScrollArea* area) {
    area->verticalScrollBar()->setStyleSheet(QLatin1String(kScrollAreaSheet));
}

void setTableViewStyle(QTableView* view) {
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->verticalHeader()->setHidden(true);
    view->setFrameShape(QFrame::NoFrame);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setStyleSheet(QStringLiteral(
        "selection-background-color:#e5e5e5;selection-color:#666666;background-color:#ffffff;color:#666666;"));
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = view->horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setSectionsClickable(false);
    header->setStyleSheet(QStringLiteral("QHeaderView::section {background-color:#f7f7f7;border:1px solid #e5e5e5;}"));
    header->setFixedHeight(40);
    setThinScrollBarStyle(view->verticalScrollBar());
    // The view does not own its delegate: parent it to the view so that it
    // goes with it.
    CNoFocusDelegate* delegate = new CNoFocusDelegate();
    delegate->setParent(view);
    view->setItemDelegate(delegate);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    QFont font = header->font();
    font.setBold(false);
    font.setPixelSize(12);
    header->setFont(font);
}

void setTableHeaderStyle(QTableView* view) {
    view->horizontalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView::section {background-color:#ffffff;border-left:0px;border-right:1px solid "
                       "#e5e5e5;border-top:0px;border-bottom:1px solid #e5e5e5;}"));
    view->setStyleSheet(QStringLiteral(
        "color:rgb(102,102,102);selection-color:rgb(102,102,102);background-color:rgb(255,255,255);selection-"
        "background-color:rgb(229,243,255);gridline-color:rgb(229,229,229);border:0px;"));
}

void setBottomBorderStyle(QWidget* widget) {
    widget->setStyleSheet(
        QStringLiteral("border-left:0px; border-right:0px; border-top:0px; border-bottom:1px solid rgb(229,229,229);"));
}

void setTopBorderStyle(QWidget* widget) {
    widget->setStyleSheet(
        QStringLiteral("border-left: 0px;border-right: 0px;border-top: 1px solid #e5e5e5;border-bottom: 0px;"));
}

void setBorderStyle(QWidget* widget, QString colour, int width) {
    widget->setStyleSheet(QStringLiteral("border:%1px solid #%2;").arg(width).arg(colour));
}

void setLineEditStyle(QWidget* lineEdit) {
    QPalette pal = lineEdit->palette();
    pal.setColor(QPalette::Text, QColor(QStringLiteral("#999999")));
    lineEdit->setPalette(pal);
    lineEdit->setStyleSheet(QStringLiteral("QLineEdit{border:0px;}"));
}

void setGridSpacing(QGridLayout* layout) {
    layout->setVerticalSpacing(1);
    layout->setHorizontalSpacing(1);
}

void setElidedLabelText(QLabel* label, QString text, int width) {
    // Measured with a default font, not the label's own.
    const QFontMetrics metrics{QFont()};
    label->setText(metrics.elidedText(text, Qt::ElideRight, width));
    label->setToolTip(text);
}

void setCheckBoxIndicatorStyle(QWidget* checkBox, const QString& skinFolder) {
    QString sheet;
    for (const auto& rule : kCheckBoxRules)
        sheet += QString::fromLatin1(rule[0]).arg(skinFolder + QLatin1String(rule[1]));
    checkBox->setStyleSheet(sheet);
}

void setPushButtonStyle(QWidget* button, QString normalImage, QString hoverImage, QString pressedImage,
                        QString disabledImage, QString normalColor, QString hoverColor, QString pressedColor,
                        QString disabledColor, QString imageFolder) {
    const QString normal = QStringLiteral("QPushButton{ color: %1; border:0px 0px 0px 0px; background-image: url(%2);}")
                               .arg(normalColor, imageFolder + normalImage);
    const QString disabled =
        QStringLiteral("QPushButton::!enabled{ color: %1; border:0px 0px 0px 0px; background-image: url(%2);}")
            .arg(disabledColor, imageFolder + disabledImage);
    const QString pressed =
        QStringLiteral("QPushButton::pressed{ color: %1; border:0px 0px 0px 0px; background-image: url(%2);}")
            .arg(pressedColor, imageFolder + pressedImage);
    const QString hover =
        QStringLiteral("QPushButton::hover{ color: %1; border:0px 0px 0px 0px; background-image: url(%2);}")
            .arg(hoverColor, imageFolder + hoverImage);
    button->setStyleSheet(hover + pressed + disabled + normal);
}
