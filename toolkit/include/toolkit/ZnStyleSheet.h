#pragma once
// Style-sheet functions: each puts a fixed (or lightly parameterised) style
// sheet or a few view settings on the widget it is given, replacing that
// widget's whole sheet, so the last call wins.
#include <QString>

class QAbstractScrollArea;
class QGridLayout;
class QLabel;
class QTableView;
class QWidget;

// 4-px transparent scroll bar with a light grey handle.
void setThinScrollBarStyle(QWidget* scrollBar);
// 6-px transparent scroll bar with a light grey handle.
void setNarrowScrollBarStyle(QWidget* scrollBar);
// 10-px transparent scroll bar with a light grey rounded handle that turns
// grey under the mouse.
void setGreyScrollBarStyle(QWidget* scrollBar);
// The vertical scroll bar of the area gets the 10-px rounded-handle sheet.
void setScrollAreaStyle(QAbstractScrollArea* area);
// Borderless single-row-selection table without a vertical header.
void setTableViewStyle(QTableView* view);
// White header sections with thin grey separators, and the view's colours.
void setTableHeaderStyle(QTableView* view);
void setBottomBorderStyle(QWidget* widget);
void setTopBorderStyle(QWidget* widget);
// "border:<width>px solid #<colour>;" (colour as hex digits without "#").
void setBorderStyle(QWidget* widget, QString colour, int width);
// Grey text and no border.
void setLineEditStyle(QWidget* lineEdit);
// Spacing 1 both ways.
void setGridSpacing(QGridLayout* layout);
// The text elided at the right to `width`; the whole text as tool tip.
void setElidedLabelText(QLabel* label, QString text, int width);
// The check-box indicator images of every state (unchecked, checked, partly
// checked, each with its hover image, and disabled) from the "/checkbox/"
// folder of `skinFolder` (given without a trailing "/"). The one check-box
// look of the cleaning pages, the repair guide and the feedback dialog.
void setCheckBoxIndicatorStyle(QWidget* checkBox, const QString& skinFolder);
// Push-button sheet from four state images (in `imageFolder`) and four text
// colours, in the order normal, hover, pressed, disabled.
void setPushButtonStyle(QWidget* button, QString normalImage, QString hoverImage, QString pressedImage,
                        QString disabledImage, QString normalColor, QString hoverColor, QString pressedColor,
                        QString disabledColor, QString imageFolder);
