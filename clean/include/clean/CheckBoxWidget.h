#pragma once
// The "All iTunes Data" box over the category table of the scan result page.
#include <QWidget>

namespace Ui {
class CCheckBoxWidget;
}

class CCheckBoxWidget : public QWidget {
    Q_OBJECT
public:
    explicit CCheckBoxWidget(QWidget* parent = nullptr);
    ~CCheckBoxWidget() override;

    void SetChecked(bool checked);
    // A Qt::CheckState: 0 unchecked, 1 partially checked, 2 checked.
    void SetCheckState(int state);

signals:
    void SignalClickedCheckBox(bool isChecked);

public slots:
    void SlotClickedCheckBox(bool isChecked);

private:
    Ui::CCheckBoxWidget* ui = nullptr;
};
