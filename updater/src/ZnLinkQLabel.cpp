#include "ZnLinkQLabel.h"

ZnLinkQLabel::ZnLinkQLabel(QWidget* parent) : QLabel(parent) {}
