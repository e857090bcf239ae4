#pragma once

#include "document/teskdoc.h"

#include <QString>
#include <QStringList>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Reads the scene files named on the command line on a background thread
// while the window system and the main window start, so that opening them
// adopts what was read (CTeskDoc::AdoptScene) instead of reading again.
//
// Made by runTesk once it knows that this process is the editor, before the
// QApplication; handed through CTeskApp::InitInstance to
// CSceneFiles::OpenAtStart, whose opens Take() the
// loads; destroyed once start-up is over. The worker reads the first
// kMaxFiles distinct names in command-line order, each through
// CTeskDoc::LoadScene exactly as a direct open would, and stops after a file
// that fails (start-up ends there, so later files are never opened). It
// creates no QObject and shares nothing with the GUI thread but the loads
// handed over under the mutex. Without a thread to start, nothing is read
// ahead and every open reads its file. The destructor stops the worker
// before its next file, joins it (waiting for the file in flight) and frees
// the loads not taken.
class CScenePreload {
public:
    static constexpr std::size_t kMaxFiles = 2;

    explicit CScenePreload(const QStringList& files);
    ~CScenePreload();
    CScenePreload(const CScenePreload&) = delete;
    CScenePreload& operator=(const CScenePreload&) = delete;

    // The load of `path`, exactly as named on the command line, waiting for
    // it while it is being read. Empty when `path` was not preloaded, was
    // already taken, or was skipped after an earlier failure: the caller
    // then opens the file itself.
    std::optional<SceneLoad> Take(const QString& path);

private:
    struct Entry {
        QString path;
        std::optional<SceneLoad> load;
        bool taken = false;
    };

    void run();

    std::mutex m_mutex;
    std::condition_variable m_loaded;
    std::vector<Entry> m_entries; // paths fixed before the worker starts
    bool m_stop = false;
    bool m_done = false;
    std::thread m_worker;
};
