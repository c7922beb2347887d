#include "app/CRecentFileList.h"

#include <QFileInfo>

namespace {

const QString kGroup = QStringLiteral("Recent File List");

QString EntryKey(int index)
{
    return QStringLiteral("File%1").arg(index + 1);
}

}  // namespace

void CRecentFileList::Load(QSettings& settings)
{
    m_files.clear();
    settings.beginGroup(kGroup);
    for (int i = 0; i < m_size; ++i) {
        const QString file = settings.value(EntryKey(i)).toString();
        if (!file.isEmpty() && !m_files.contains(file)) {
            m_files.append(file);
        }
    }
    settings.endGroup();
}

void CRecentFileList::Add(const QString& path, QSettings& settings)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_files.removeAll(absolute);
    m_files.prepend(absolute);
    while (m_files.size() > m_size) {
        m_files.removeLast();
    }
    Save(settings);
}

void CRecentFileList::Save(QSettings& settings) const
{
    settings.beginGroup(kGroup);
    settings.remove(QString());
    for (int i = 0; i < m_files.size(); ++i) {
        settings.setValue(EntryKey(i), m_files.at(i));
    }
    settings.endGroup();
    settings.sync();
}
