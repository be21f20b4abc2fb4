#include "clean/CheckBoxWidget.h"

#include <QDebug>

#include "CleanSkin.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnStyleSheet.h"
#include "ui_CCheckBoxWidget.h"
#include "CleanLogging.h"

CCheckBoxWidget::CCheckBoxWidget(QWidget* parent) : QWidget(parent), ui(new Ui::CCheckBoxWidget) {
    ui->setupUi(this);
    setCheckBoxIndicatorStyle(ui->checkBox, clean::skinFolder());
    ui->label->setStyleSheet(ZnStyleCommon::getColorStyleSheet(13));
    ui->label->setFont(g_styleCommon.getFont(19));
    ui->label->setText(tr("All iTunes Data"));
    connect(ui->checkBox, &QCheckBox::clicked, this, &CCheckBoxWidget::SlotClickedCheckBox);
}

CCheckBoxWidget::~CCheckBoxWidget() { delete ui; }

void CCheckBoxWidget::SetChecked(bool checked) { ui->checkBox->setCheckState(checked ? Qt::Checked : Qt::Unchecked); }

void CCheckBoxWidget::SetCheckState(int state) { ui->checkBox->setCheckState(static_cast<Qt::CheckState>(state)); }

void CCheckBoxWidget::SlotClickedCheckBox(bool isChecked) {
    qCDebug(lcClean) << "CCheckBoxWidget::SlotClickedCheckBox(bool isChecked=======================" << isChecked;
    emit SignalClickedCheckBox(isChecked);
}
