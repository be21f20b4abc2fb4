#pragma once
// Detection result page: shown when the product check found missing or
// damaged Apple components. Lists every reported component with its version
// and status; a damaged one has a details button. "Repair" starts the repair,
// Back returns home after a confirmation. The main window fills the page with
// LoadComponentData and hears from it only through the three signals.
#include <QVector>
#include <QWidget>

#include "SorvelInterface.h"

namespace Ui {
class CScanResultException;
}

class CScanResultException : public QWidget {
    Q_OBJECT
public:
    explicit CScanResultException(QWidget* parent = nullptr);
    ~CScanResultException() override;

    // Appends one row per record, below the rows of earlier loads.
    void LoadComponentData(const QVector<ST_ITUNES_CHECK_RESULT>& results);

signals:
    void SignalBackHome();
    void SignalShowComponentDamageListDialog(int componentType);
    void SignalFixiTunes();

public slots:
    void SlotExceptionListDialog(int componentType);
    void SlotBackHome();
    void SlotFixiTunes();

private:
    void initStyle();

    Ui::CScanResultException* ui = nullptr;
    int m_nNextRow = 0;
};
