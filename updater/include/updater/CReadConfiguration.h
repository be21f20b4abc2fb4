#pragma once
// The updater's product settings, read once at start from the INI file
// "LiveUpdateSetting" in the application folder (keys PID, EXE, Name, Info,
// Title, Url; group "Info" with one description per language name), and the
// language name from the language file (see LiveUpdateTranslation.h).
//
// The file is read as UTF-8 and every value is taken whole, commas included
// (the usual INI reading would split "a, b" into a list). A missing key reads
// as an empty text; the file is never written.
#include <QObject>
#include <QString>

class CReadConfiguration : public QObject {
    Q_OBJECT
public:
    // The one configuration object, created on first use as a child of the
    // application object.
    static CReadConfiguration* GetInstance();

    // Fills every value anew from the settings file and the language file.
    void ReadConfig();

    QString GetPID() const { return m_strPID; }
    QString GetEXE() const { return m_strEXE; }
    QString GetPName() const { return m_strPName; }
    QString GetPInfo() const { return m_strPInfo; }
    QString GetTitle() const { return m_strTitle; }
    QString GetDownloadPageUrl() const { return m_strUrl; }
    QString GetLanguage() const { return m_strLanguage; }

private:
    explicit CReadConfiguration(QObject* parent);

    QString m_strPID;
    QString m_strEXE;
    QString m_strPName;
    QString m_strPInfo;
    QString m_strLanguage;
    QString m_strUrl;
    QString m_strTitle;
};
