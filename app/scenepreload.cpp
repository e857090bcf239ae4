#include "app/scenepreload.h"

#include <system_error>

CScenePreload::CScenePreload(const QStringList& files)
{
    for (const QString& file : files) {
        if (m_entries.size() == kMaxFiles)
            break;
        // A file named twice is opened once; the second name finds its window.
        bool named = false;
        for (const Entry& entry : m_entries)
            named = named || entry.path == file;
        if (!named)
            m_entries.push_back(Entry{file, std::nullopt, false});
    }
    if (m_entries.empty()) {
        m_done = true;
        return;
    }
    try {
        m_worker = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread to spare: every open reads its file itself.
        m_done = true;
    }
}

CScenePreload::~CScenePreload()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    if (m_worker.joinable())
        m_worker.join();
}

std::optional<SceneLoad> CScenePreload::Take(const QString& path)
{
    std::unique_lock lock(m_mutex);
    for (Entry& entry : m_entries) {
        if (entry.path != path || entry.taken)
            continue;
        m_loaded.wait(lock, [&] { return entry.load.has_value() || m_done; });
        if (!entry.load)
            return std::nullopt;
        entry.taken = true;
        std::optional<SceneLoad> load = std::move(entry.load);
        entry.load.reset();
        return load;
    }
    return std::nullopt;
}

void CScenePreload::run()
{
    for (Entry& entry : m_entries) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_stop)
                break;
        }
        // entry.path is never written after construction: read it unlocked.
        SceneLoad load = CTeskDoc::LoadScene(entry.path);
        const bool failed = !load.file.ok;
        {
            const std::lock_guard lock(m_mutex);
            entry.load = std::move(load);
        }
        m_loaded.notify_all();
        if (failed)
            break;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_loaded.notify_all();
}
