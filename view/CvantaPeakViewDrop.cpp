// Elevation files dropped on the form: the terrain of the next start, or of a
// new window while a flight runs.
#include "view/CvantaPeakView.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QUrl>

#include "view/MessageBox.h"

void CvantaPeakView::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CvantaPeakView::dropEvent(QDropEvent* event)
{
    std::vector<std::string> files;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            files.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
        }
    }
    if (files.empty()) {
        return;
    }
    event->acceptProposedAction();
    OpenTerrainFiles(files);
}

void CvantaPeakView::OpenTerrainFiles(const std::vector<std::string>& files)
{
    if (files.empty()) {
        return;
    }
    if (!m_started) {
        const std::vector<std::string> before = m_terrainFiles;
        m_terrainFiles = files;
        OnStartSimulation();
        if (!m_started) {
            m_terrainFiles = before; // "Iniciar" reads what it read before the drop
        }
        return;
    }
    QStringList arguments{QStringLiteral("--start")};
    for (const std::string& file : files) {
        arguments << QStringLiteral("--terrain") << QFile::decodeName(file.c_str());
    }
    if (!QProcess::startDetached(QCoreApplication::applicationFilePath(), arguments)) {
        ShowMessageBox(QString::fromUtf8("No se pudo abrir el terreno en una ventana nueva"), this);
    }
}
