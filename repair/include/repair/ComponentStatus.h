#pragma once
// Status cell of one component row on the detection result page: a state
// picture and, for a damaged component, a details button that asks for the
// component's damaged-file list.
#include <QString>
#include <QWidget>

class ZnStyleButton;

namespace Ui {
class CComponentStatus;
}

class CComponentStatus : public QWidget {
    Q_OBJECT
public:
    explicit CComponentStatus(QWidget* parent = nullptr);
    ~CComponentStatus() override;

    // Stores the component (eItunesProductType) and its check state
    // (eCheckItunesProductState) and shows the state's picture: normal for 2
    // and 3, lost for 4, damaged with the details button for 5; any other
    // state keeps the look the cell was built with (damaged, with details).
    void SetStatus(int product, int state);

signals:
    // The details button was clicked; `cType` is the stored product id.
    void SignalOpenExceptionListDialog(int cType);

public slots:
    void SlotOpenExceptionListDialog();

private:
    void initStyle();

    Ui::CComponentStatus* ui = nullptr;
    int m_nProduct = 0;
    int m_nState = 0;
    QString m_strSkinPath;
};
