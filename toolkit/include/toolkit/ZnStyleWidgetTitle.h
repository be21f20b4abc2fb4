#pragma once
// The toolkit's title bar: image background, (hidden) logo, caption and close
// button. The owner calls setPWidget(window, x, y, true) to make it drag and
// close that window. In the updater's variant (ZnToolkitVariant::Updater) the
// caption label is named "labelCaptionText" and the close button takes the
// updater's images (skin folder + "AutoUpDate/win_close_*.svg").
#include <QString>

#include "ZnStyleWidget.h"

class QHBoxLayout;
class QLabel;
class QSpacerItem;
class ZnStyleButton;

class ZnStyleWidgetTitle : public ZnStyleWidget {
    Q_OBJECT
public:
    explicit ZnStyleWidgetTitle(QWidget* parent = nullptr);

    // The caption text (initially "Brelion Corvane").
    void setTitleText(const QString& text);
    void hideCloseButton();

private:
    void initStyle();

    QString m_strTitleImage;
    QString m_strLogoPath;
    QLabel* m_pLogo = nullptr;
    QSpacerItem* m_pSpacer = nullptr;
    QLabel* m_pCaption = nullptr;
    ZnStyleButton* m_pCloseButton = nullptr;
    QHBoxLayout* m_pLayout = nullptr;
};
