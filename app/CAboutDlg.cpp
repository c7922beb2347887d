#include "app/CAboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/AppIcon.h"
#include "config/Version.h"
#include "view/CvantaPeakView.h"
#include "view/DialogUnits.h"

namespace {

// Size of the box in dialog units.
constexpr int kWidthDlu = 235;
constexpr int kHeightDlu = 55;
// Icons keep their own pixel size, as an icon static does.
constexpr int kIconPixels = 32;

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("About vantaPeak"));
    setModal(true);
    QFont dialogFont = font();
    dialogFont.setPointSize(CvantaPeakView::kFormFontPoints);
    setFont(dialogFont);

    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("icon"));
    m_icon->setPixmap(DrawAppIcon(kIconPixels));
    const QRect iconRect = MapDialogRect(dialogFont, 11, 17, 0, 0);
    m_icon->setGeometry(iconRect.x(), iconRect.y(), kIconPixels, kIconPixels);

    // No prefix processing: an '&' would be shown as it is.
    m_version = new QLabel(QStringLiteral("vantaPeak Version ") + QString::fromLatin1(kVantaPeakShortVersion), this);
    m_version->setObjectName(QStringLiteral("version"));
    m_version->setTextFormat(Qt::PlainText);
    m_version->setGeometry(MapDialogRect(dialogFont, 40, 10, 119, 8));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("1"));
    m_ok->setDefault(true);
    m_ok->setGeometry(MapDialogRect(dialogFont, 178, 7, 50, 16));
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(MapDialogRect(dialogFont, 0, 0, kWidthDlu, kHeightDlu).size());
    m_ok->setFocus();
}
