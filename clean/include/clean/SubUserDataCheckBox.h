#pragma once
// One row of a detail table on the scan result page: a box, an icon and the
// name of one data subtype, or of one iOS backup (subtype 12, named by its
// device). A click is reported with the subtype, or with the backup id for a
// backup row, so that the page knows which entry of the clean request changed.
#include <QString>
#include <QWidget>

namespace Ui {
class CSubUserDataCheckBox;
}

class CSubUserDataCheckBox : public QWidget {
    Q_OBJECT
public:
    explicit CSubUserDataCheckBox(QWidget* parent = nullptr);
    ~CSubUserDataCheckBox() override;

    // An eItunesUserDataSubType: 1 to 11 and 13 to 19 show their name and
    // icon, 12 (an iOS backup) hides the icon; other values are only stored.
    void SetSubUserDataType(int subType);
    int GetSubUserDataType() const;

    // The backup id of a backup row and its device name (shown when not empty).
    void SetId(int id, QString name);
    int GetId() const;

    // A size above 0 is stored and checks the box; 0 or less stores 0 and
    // unchecks it. The row shows no size itself: its CFileSize cell does.
    void SetFileSize(qint64 fileSize);
    qint64 GetFileSize() const;

    bool IsChecked() const;
    void SetChecked(bool checked);
    void SetCheckBoxEnabled(bool enabled);

signals:
    void SignalCheckBoxClicked(int type, bool isCheck, qlonglong fileSize);

public slots:
    void SlotCheckBoxClicked(bool isCheck);

private:
    void initStyle();

    Ui::CSubUserDataCheckBox* ui = nullptr;
    int m_nId = 0;
    int m_nSubUserDataType = 0;
    qint64 m_nfileSize = 0;
    QString m_strName;
    QString m_strSkinPath;
};
