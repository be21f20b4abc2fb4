#pragma once
// The size cell beside a detail row of the scan result page.
#include <QWidget>

namespace Ui {
class CFileSize;
}

class CFileSize : public QWidget {
    Q_OBJECT
public:
    explicit CFileSize(QWidget* parent = nullptr);
    ~CFileSize() override;

    // The eItunesUserDataSubType of the row the cell belongs to (12 for a backup).
    void SetSubUserDataType(int subType);
    int GetSubUserDataType() const;

    // Shows the size text of a size above 0, otherwise "0MB". Not stored.
    void SetFileSize(qint64 fileSize);

private:
    Ui::CFileSize* ui = nullptr;
    int m_nSubUserDataType = 0;
};
