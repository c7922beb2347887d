#pragma once
// The document: holds no data. It only remembers the file it was last opened
// from or saved to, for the frame's title and the recent-file list.
#include <QString>

class CvantaPeakDoc {
public:
    // Re-initialises the empty document; true on success.
    bool OnNewDocument();
    // Opens `path` for reading and reads nothing from it. False, with the
    // framework's message shown, when the file cannot be opened.
    bool OnOpenDocument(const QString& path);
    // Writes an empty file at `path` (replacing any file there only once the
    // new one is complete). False, with a message shown, when that fails.
    bool OnSaveDocument(const QString& path);

    // The file name of the document, empty while untitled.
    const QString& PathName() const { return m_pathName; }
    void SetPathName(const QString& path) { m_pathName = path; }

private:
    QString m_pathName;
};
