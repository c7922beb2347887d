#include "view/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

#include <algorithm>

namespace {

// Windows' MulDiv for the non-negative values of a dialog template: the
// product divided with rounding to nearest.
int MulDiv(int value, int numerator, int denominator)
{
    return (value * numerator + denominator / 2) / denominator;
}

}  // namespace

QSize DialogBaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize(std::max(1, (letters / 26 + 1) / 2), std::max(1, metrics.height()));
}

QRect MapDialogRect(const QFont& font, int x, int y, int width, int height)
{
    const QSize base = DialogBaseUnits(font);
    return QRect(MulDiv(x, base.width(), 4), MulDiv(y, base.height(), 8),
                 MulDiv(width, base.width(), 4), MulDiv(height, base.height(), 8));
}
