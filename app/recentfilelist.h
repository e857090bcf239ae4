#pragma once

#include <QString>
#include <QStringList>

class CSettingsWriter;

// The recent-file list: the files most recently opened or saved, most
// recent first, at most kMaxSize entries, each an absolute path once.
//
// Persistence: ReadList and WriteList use the application's QSettings
// (organisation and application names set at start-up), group
// "Recent File List", keys "File1" to "FileN". The application writes the
// list back after every change, through `writer`, so it survives a crash as
// well as a restart.
class CRecentFileList {
public:
    static constexpr int kMaxSize = 4;

    void ReadList();
    void WriteList(CSettingsWriter& writer) const;

    // Puts `path` at the top, dropping an older entry for the same file and
    // the entry that no longer fits.
    void Add(const QString& path);
    void Remove(int index);

    int GetSize() const { return static_cast<int>(m_files.size()); }
    const QStringList& files() const { return m_files; }

    // The menu caption of entry `index`: "&1 " and the path, with "&" in the
    // path doubled so that it is not taken for an access key.
    QString MenuText(int index) const;

private:
    QStringList m_files;
};
