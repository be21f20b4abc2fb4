#pragma once
// One row of the category table on the scan result page: a tri-state box, the
// category's icon and its name with the category's size. The row holds its
// category and size and turns a click into SignalCheckBoxClicked; the page does
// all the arithmetic of the selection.
#include <QString>
#include <QWidget>

namespace Ui {
class CTableCheckBox;
}

class CTableCheckBox : public QWidget {
    Q_OBJECT
public:
    explicit CTableCheckBox(QWidget* parent = nullptr);
    ~CTableCheckBox() override;

    // An eItunesUserDataType 1 to 4 sets the initial text and the icon; any
    // other value is only stored.
    void SetUserDataType(int type);
    int GetUserDataType() const;

    // A size above 0 is stored, checks the box and shows the size in the
    // name; 0 or less stores 0, unchecks the box and shows "0MB".
    void SetFileSize(qint64 fileSize);
    qint64 GetFileSize() const;

    // A Qt::CheckState: 0 unchecked, 1 partially checked, 2 checked.
    void SetCheckState(int state);
    int GetCheckState() const;

    void SetCheckBoxEnabled(bool enabled);

signals:
    void SignalCheckBoxClicked(int type, bool isCheck, qlonglong fileSize);

public slots:
    void SlotCheckBoxClicked(bool isCheck);
    void SlotCheckBoxStateChanged(int state);

private:
    void initStyle();

    Ui::CTableCheckBox* ui = nullptr;
    int m_nUserDataType = 0;
    qint64 m_nfileSize = 0;
    QString m_strNameFormat;
    QString m_strSkinPath;
};
