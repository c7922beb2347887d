#pragma once
// Dialog units: the layout unit of the form and the about box. One
// horizontal unit is a quarter of the font's average character width, one
// vertical unit an eighth of its height, so a layout in dialog units keeps
// its proportions at any font size and screen resolution.
#include <QFont>
#include <QRect>
#include <QSize>

// The font's dialog base units in pixels: the average width of the Latin
// letters (rounded as Windows rounds it) and the line height.
QSize DialogBaseUnits(const QFont& font);

// A rectangle in dialog units converted to pixels with `font`'s base units.
QRect MapDialogRect(const QFont& font, int x, int y, int width, int height);
