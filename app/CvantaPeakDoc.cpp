#include "app/CvantaPeakDoc.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "view/MessageBox.h"

bool CvantaPeakDoc::OnNewDocument()
{
    m_pathName.clear();
    return true;
}

bool CvantaPeakDoc::OnOpenDocument(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const QString name = QFileInfo(path).fileName();
        if (!QFileInfo::exists(path)) {
            ShowMessageBox(QStringLiteral("%1 was not found.").arg(name));
        } else if (file.error() == QFileDevice::PermissionsError) {
            ShowMessageBox(QStringLiteral("Access to %1 was denied.").arg(name));
        } else {
            ShowMessageBox(QStringLiteral("Failed to open document."));
        }
        return false;
    }
    // The document holds nothing, so there is nothing to read.
    return true;
}

bool CvantaPeakDoc::OnSaveDocument(const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.commit()) {
        if (file.error() == QFileDevice::PermissionsError) {
            ShowMessageBox(QStringLiteral("Access to %1 was denied.").arg(QFileInfo(path).fileName()));
        } else {
            ShowMessageBox(QStringLiteral("Failed to save document."));
        }
        return false;
    }
    m_pathName = path;
    return true;
}
