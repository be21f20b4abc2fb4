#pragma once
// The update window's note label. Its one addition is the property linkColor,
// the colour of the download link in the note; the program never sets it,
// the application style sheet does ("ZnLinkQLabel { qproperty-linkColor: ...; }").
#include <QLabel>
#include <QString>

class ZnLinkQLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString linkColor READ linkColor WRITE setLinkColor)
public:
    explicit ZnLinkQLabel(QWidget* parent = nullptr);

    QString linkColor() const { return m_strLinkColor; }
    void setLinkColor(const QString& color) { m_strLinkColor = color; }

private:
    QString m_strLinkColor;
};
