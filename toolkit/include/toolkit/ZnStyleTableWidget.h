#pragma once
// Pre-styled table: no vertical header, no editing, one whole row selected at
// a time, header sections not clickable, items without a focus frame. The
// callers fill columns, header labels and rows themselves.
#include <QTableWidget>

class ZnStyleTableWidget : public QTableWidget {
    Q_OBJECT
public:
    explicit ZnStyleTableWidget(QWidget* parent = nullptr);
};
