#pragma once
// The page of Quick Clean and Deep Clean on which a scan of the iTunes user
// data is watched while it runs and on which, once it has ended, the user
// chooses what to delete.
//
// The main window calls InitScanView before each scan and StartLoadTimer once
// the engine's scan has started; the page then reads the controller's item
// list once a second (copies only: the engine appends to the list on its own
// thread) and shows the items by category and subtype with their sizes. When
// the scan has ended the rows that hold data become selectable; the clean
// request, read through GetUserDataSubTypeList and GetBackupIdList, is exactly
// the set of rows shown checked. The page never calls the engine; it answers
// only with its four signals.
#include <QList>
#include <QString>
#include <QWidget>

#include <vector>

class CCheckBoxWidget;
class CFileSize;
class CSubUserDataCheckBox;
class CTableCheckBox;
class QMovie;
class QTableWidget;
class QTimer;
class ZnMessageBox;
struct ST_ITUNES_USERDATA_ITEM;

namespace Ui {
class CScaniTunesData;
}

class CScaniTunesData : public QWidget {
    Q_OBJECT
public:
    explicit CScaniTunesData(QWidget* parent = nullptr);
    ~CScaniTunesData() override;

    // Prepares a new scan: scene 0 (quick clean) shows the animation, any other
    // scene (deep clean) the progress bar; every count, sum and row list is
    // reset and Clean is disabled.
    void InitScanView(int scene);
    // Starts the one-second poll of the controller's item list.
    void StartLoadTimer();

    // Append the subtype of every checked media, software-update and
    // other-data row (in that order, in table order), and the backup id of
    // every checked iOS-backup row (in table order).
    void GetUserDataSubTypeList(std::vector<int>& subTypes);
    void GetBackupIdList(std::vector<int>& backupIds);

signals:
    void SignalCleaniTunesUserData();
    void SignalStopScaniTunesUserData();
    void SignalStopScaniTunesUserDataFinished();
    void SignalBackHome();

public slots:
    void SlotLoadiTunesUserData();
    void SlotScaniTunesUserDataFinished();
    void SlotStopScaniTunesUserDataFinished();
    void SlotStopScaniTunesUserData();
    void SlotBackHome();
    void SlotCleaniTunesUserData();
    void SlotCellClicked(int row, int column);
    void SlotShowMediaFilesData();
    void SlotShowiOSBackupsFilesData();
    void SlotShowSoftwareUpdateFilesData();
    void SlotShowOtherFileData();
    void SlotCheckMediaFilesData(int subType, bool isCheck, qlonglong fileSize);
    void SlotCheckiOSBackupsFilesData(int backupId, bool isCheck, qlonglong fileSize);
    void SlotCheckSoftwareUpdateFilesData(int subType, bool isCheck, qlonglong fileSize);
    void SlotCheckOtherFileData(int subType, bool isCheck, qlonglong fileSize);
    void SlotCheckAllTypeFileCheckBox(int type, bool isCheck, qlonglong fileSize);
    void SlotSetAlliTunesCheckBox(bool isCheck);
    void SlotTableWidgetSort();

private:
    void initStyle();
    void initTables();
    void initCategoryTable();
    // Fills one detail table with a row and a size cell per subtype.
    void rebuildSubTypeTable(QTableWidget* table, QList<CSubUserDataCheckBox*>& rows, int firstSubType, int lastSubType,
                             void (CScaniTunesData::*slot)(int, bool, qlonglong));
    void loadUserDataItem(const ST_ITUNES_USERDATA_ITEM& item);
    void LoadiOSBackupsFilesData(const ST_ITUNES_USERDATA_ITEM& item);
    void showScanProgress(const ST_ITUNES_USERDATA_ITEM& item);
    void showAnimation();
    void showDetailTable(QTableWidget* table);
    // The row list of a category 1 to 4, or null.
    QList<CSubUserDataCheckBox*>* rowsOfCategory(int category);
    int sizedRowsOfCategory(int category) const;
    void checkDetailRow(int category, int key, bool isCheck);
    void updateAllCheckBoxAndClean();
    void showSelectedSize();
    void showSizeInAllLabels(const QString& text);
    // Asks a Yes/No question; true only when the answer is Yes.
    bool confirmStop();

    Ui::CScaniTunesData* ui = nullptr;
    QString m_strSkinPath;
    int m_nScene = 0;
    int m_nLoadCurrentUserDataItem = 0;
    qint64 m_nFileTotal = 0;
    int m_nNextBackupRow = 0;
    int m_nSizedCategoryRows = 0;
    int m_nSizedMediaRows = 0;
    int m_nSizedBackupRows = 0;
    int m_nSizedUpdateRows = 0;
    int m_nSizedOtherRows = 0;
    bool m_bScanFinished = false;

    QList<CTableCheckBox*> m_listCategoryRows;
    QList<CSubUserDataCheckBox*> m_listMediaRows;
    QList<CSubUserDataCheckBox*> m_listBackupRows;
    QList<CSubUserDataCheckBox*> m_listUpdateRows;
    QList<CSubUserDataCheckBox*> m_listOtherRows;
    QList<CFileSize*> m_listFileSize;

    QTimer* m_pLoadTimer = nullptr;
    QMovie* m_pMovie = nullptr;
    ZnMessageBox* m_pStopBox = nullptr;
    CCheckBoxWidget* m_pAllCheckBox = nullptr;
};
