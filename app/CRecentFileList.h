#pragma once
// The most-recently-used file list the framework keeps under the
// application's settings key ("Recent File List", entries File1..FileN,
// newest first). Nothing else in the program reads it.
#include <QSettings>
#include <QString>
#include <QStringList>

class CRecentFileList {
public:
    explicit CRecentFileList(int size) : m_size(size) {}

    // Reads the list from `settings`, dropping empty and surplus entries.
    void Load(QSettings& settings);
    // Puts `path` (made absolute) first, removes an older copy of it, keeps
    // at most the list's size, and writes the list back to `settings`.
    void Add(const QString& path, QSettings& settings);

    const QStringList& Files() const { return m_files; }
    int Size() const { return m_size; }

private:
    void Save(QSettings& settings) const;

    int m_size;
    QStringList m_files;
};
