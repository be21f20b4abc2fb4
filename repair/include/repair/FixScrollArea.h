#pragma once
// Borderless scroll area with a thin (6 px) vertical scroll bar. It keeps the
// running totals of its scroll steps and announces them after every step.
#include <QScrollArea>

class CFixScrollArea : public QScrollArea {
    Q_OBJECT
public:
    explicit CFixScrollArea(QWidget* parent = nullptr);

signals:
    // The horizontal and vertical totals of all scroll steps so far. Scrolling
    // down from the top gives negative totals (minus the scroll bars' values).
    void signalScrollPoint(int x, int y);

protected:
    void scrollContentsBy(int dx, int dy) override;

private:
    int m_nTotalX = 0;
    int m_nTotalY = 0;
};
