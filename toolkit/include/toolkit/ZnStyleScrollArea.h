#pragma once
// Scroll area with the toolkit's scroll bars that reports the running sums of
// its scroll deltas.
#include <QScrollArea>

class ZnStyleScrollArea : public QScrollArea {
    Q_OBJECT
public:
    explicit ZnStyleScrollArea(QWidget* parent = nullptr);

signals:
    // The accumulated (dx, dy) after each scroll.
    void signalScrollPoint(int x, int y);

protected:
    void scrollContentsBy(int dx, int dy) override;

private:
    int m_nTotalX = 0;
    int m_nTotalY = 0;
};
