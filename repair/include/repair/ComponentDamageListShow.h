#pragma once
// Small frameless modal dialog that lists file names under a heading: the
// missing or damaged files of one Apple component (from the detection result
// page), or the files that cleaning left because they were in use.
#include <QDialog>
#include <QString>
#include <QVector>

#include <string>
#include <vector>

#include "SorvelInterface.h"

namespace Ui {
class CComponentDamageListShow;
}

class CComponentDamageListShow : public QDialog {
    Q_OBJECT
public:
    explicit CComponentDamageListShow(QWidget* parent = nullptr);
    ~CComponentDamageListShow() override;

    // Lists the damaged files of the record of `product` (the last record
    // when several carry it), one " · name" line each, at most 52 names and
    // then "   ...". When no record carries the product the list is left as
    // it was.
    void SetComponentDamageList(const QVector<ST_ITUNES_CHECK_RESULT>& results, int product);
    // Lists the file names of the given paths, one per line, all of them.
    void SetFileOccupiedList(const std::vector<std::wstring>& paths);
    // Replaces the heading above the list.
    void SetTitleText(const QString& text);

private:
    void initStyle();

    Ui::CComponentDamageListShow* ui = nullptr;
};
