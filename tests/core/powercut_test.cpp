#include "testutil.h"

#include "framework/core/systemcalls.h"
#include "journal/docjournal.h"
#include "journal/orphanjournal.h"
#include "journal/scenejournal.h"
#include "tests/randomedits.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThreadPool>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

// Power cuts after every file-system call of a save or a journal session.
// The calls are recorded through the system-call seam; after each one the
// disk holds, per folder, the names as of the folder's last fsync or as
// now, name by name, and per file the bytes as of its last fsync or as now,
// or a mix torn at a 4 KiB boundary. Each such state is written back to the
// scene's folder and checked as the next start would find it.
namespace {

struct Entry {
    int id;
    bool folder;
    bool operator==(const Entry&) const = default;
};

// Names per folder (relative to the root, "" for the root) and bytes per file.
struct Disk {
    std::map<std::string, std::map<std::string, Entry>> names;
    std::map<int, std::string> bytes;
};

// What the session has promised at a moment: versions are the scene's
// saved bytes after as many changes.
struct Promises {
    int fileVersion = -1; // what the target holds; -1: no target yet
    int savingTo = -1;    // a save of this version is under way
    int made = 0;         // changes made
    int flushed = 0;      // changes whose flush has returned
    bool closed = false;  // the scene was closed without saving
};

struct CutPoint {
    std::string call;
    Disk durable;
    Disk current;
    Promises promises;
};

class Recorder {
public:
    Recorder(std::string root, const Promises& promises)
        : m_root(std::move(root))
        , m_promises(promises)
    {
        s_active = this;
        scan();
        m_durable = m_current;
        m_points.push_back({"start", m_durable, m_current, m_promises});
        fw::SystemCalls& calls = fw::systemCalls();
        calls.open = [](const char* path, int flags, mode_t mode) {
            struct stat st {};
            const bool existed = ::lstat(path, &st) == 0;
            const int fd = ::open(path, flags, mode);
            if (fd >= 0 && !existed)
                s_active->made(fd);
            return s_active->after(fd, "open", path);
        };
        calls.write = [](int fd, const void* data, std::size_t size) {
            return s_active->afterWrite(fd, ::write(fd, data, size), "write");
        };
        calls.pwrite = [](int fd, const void* data, std::size_t size, off_t offset) {
            return s_active->afterWrite(fd, ::pwrite(fd, data, size, offset), "pwrite");
        };
        calls.ftruncate = [](int fd, off_t length) {
            return static_cast<int>(s_active->afterWrite(fd, ::ftruncate(fd, length), "ftruncate"));
        };
        calls.fsync = [](int fd) { return s_active->afterSync(fd, ::fsync(fd), "fsync"); };
        calls.fdatasync = [](int fd) { return s_active->afterSync(fd, ::fdatasync(fd), "fdatasync"); };
        calls.rename = [](const char* from, const char* to) { return s_active->after(::rename(from, to), "rename", to); };
        calls.unlink = [](const char* path) { return s_active->after(::unlink(path), "unlink", path); };
        calls.mkdir = [](const char* path, mode_t mode) {
            const int result = ::mkdir(path, mode);
            if (result == 0) {
                struct stat st {};
                ::lstat(path, &st);
                s_active->m_ids[st.st_ino] = s_active->m_nextId++;
            }
            return s_active->after(result, "mkdir", path);
        };
    }
    ~Recorder()
    {
        fw::systemCalls() = fw::systemsOwnCalls();
        s_active = nullptr;
    }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Marks a moment when the promises changed with no call.
    void note(const std::string& what) { m_points.push_back({what, m_durable, m_current, m_promises}); }
    const std::vector<CutPoint>& points() const { return m_points; }

private:
    static inline Recorder* s_active = nullptr;

    void made(int fd)
    {
        struct stat st {};
        ::fstat(fd, &st);
        m_ids[st.st_ino] = m_nextId++;
        m_current.bytes[m_ids[st.st_ino]].clear();
    }
    int idOf(const struct stat& st)
    {
        const auto [it, added] = m_ids.try_emplace(st.st_ino, m_nextId);
        m_nextId += added ? 1 : 0;
        return it->second;
    }
    // Walks the tree below the root: every name, and the bytes of files not yet known.
    void scan()
    {
        m_current.names.clear();
        m_folders.clear();
        scanFolder("");
    }
    void scanFolder(const std::string& relative)
    {
        const std::string path = relative.empty() ? m_root : m_root + "/" + relative;
        struct stat self {};
        ::lstat(path.c_str(), &self);
        m_folders[idOf(self)] = relative;
        auto& names = m_current.names[relative];
        for (const auto& item : std::filesystem::directory_iterator(path)) {
            struct stat st {};
            if (::lstat(item.path().c_str(), &st) != 0)
                continue;
            const std::string name = item.path().filename().string();
            const int id = idOf(st);
            names[name] = {id, S_ISDIR(st.st_mode)};
            if (S_ISDIR(st.st_mode))
                scanFolder(relative.empty() ? name : relative + "/" + name);
            else if (!m_current.bytes.contains(id))
                m_current.bytes[id] = testutil::readBytes(item.path().string());
        }
    }
    int after(int result, const char* call, const char* path)
    {
        scan();
        m_points.push_back({std::string(call) + " " + std::filesystem::path(path).filename().string(), m_durable, m_current,
                            m_promises});
        return result;
    }
    void readBack(int fd)
    {
        struct stat st {};
        ::fstat(fd, &st);
        std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
        if (::pread(fd, bytes.data(), bytes.size(), 0) == st.st_size)
            m_current.bytes[idOf(st)] = std::move(bytes);
    }
    ssize_t afterWrite(int fd, ssize_t result, const char* call)
    {
        readBack(fd);
        m_points.push_back({call, m_durable, m_current, m_promises});
        return result;
    }
    int afterSync(int fd, int result, const char* call)
    {
        struct stat st {};
        ::fstat(fd, &st);
        const int id = idOf(st);
        if (S_ISDIR(st.st_mode)) {
            scan();
            // A folder above the root holds nothing the sessions make.
            if (const auto folder = m_folders.find(id); folder != m_folders.end())
                m_durable.names[folder->second] = m_current.names[folder->second];
        } else {
            readBack(fd);
            m_durable.bytes[id] = m_current.bytes[id];
        }
        m_points.push_back({std::string(call) + (S_ISDIR(st.st_mode) ? " folder" : ""), m_durable, m_current, m_promises});
        return result;
    }

    std::string m_root;
    const Promises& m_promises;
    std::map<ino_t, int> m_ids;
    int m_nextId = 1;
    std::map<int, std::string> m_folders;
    Disk m_durable;
    Disk m_current;
    std::vector<CutPoint> m_points;
};

// A state after a cut: relative path to bytes, folders ending in '/'.
using DiskState = std::map<std::string, std::string>;

std::vector<std::string> tornVersions(const std::string& durable, const std::string& current)
{
    std::vector<std::string> versions{durable, current};
    constexpr std::size_t kBlock = 4096;
    const std::size_t longest = std::max(durable.size(), current.size());
    for (std::size_t cut = kBlock; cut < longest; cut += kBlock) {
        versions.push_back(current.substr(0, std::min(cut, current.size()))
                           + (durable.size() > cut ? durable.substr(cut) : std::string()));
    }
    return versions;
}

// Every state the model allows at `point`: each name that differs between
// the durable and the current names either way (every mix when there are
// few), and per reachable file its durable, current or torn bytes while
// the others are all durable or all current.
std::set<DiskState> statesAt(const CutPoint& point)
{
    struct Differing {
        std::string folder;
        std::string name;
    };
    std::vector<Differing> differing;
    std::set<std::string> folders;
    for (const auto* disk : {&point.durable, &point.current})
        for (const auto& [folder, names] : disk->names)
            folders.insert(folder);
    for (const std::string& folder : folders) {
        const auto durable = point.durable.names.find(folder);
        const auto current = point.current.names.find(folder);
        std::set<std::string> names;
        if (durable != point.durable.names.end())
            for (const auto& [name, entry] : durable->second)
                names.insert(name);
        if (current != point.current.names.end())
            for (const auto& [name, entry] : current->second)
                names.insert(name);
        for (const std::string& name : names) {
            const auto find = [&](const auto& it, const auto& end) -> std::optional<Entry> {
                if (it == end || !it->second.contains(name))
                    return std::nullopt;
                return it->second.at(name);
            };
            if (find(durable, point.durable.names.end()) != find(current, point.current.names.end()))
                differing.push_back({folder, name});
        }
    }
    std::vector<std::uint64_t> masks;
    if (differing.size() <= 10) {
        for (std::uint64_t mask = 0; mask < (std::uint64_t(1) << differing.size()); ++mask)
            masks.push_back(mask);
    } else {
        masks = {0, ~std::uint64_t(0)};
        for (std::size_t i = 0; i < differing.size(); ++i)
            masks.push_back(std::uint64_t(1) << i);
    }
    std::set<DiskState> states;
    for (const std::uint64_t mask : masks) {
        auto names = point.durable.names;
        for (std::size_t i = 0; i < differing.size(); ++i) {
            if (!(mask >> i & 1))
                continue;
            const auto& [folder, name] = differing[i];
            const auto current = point.current.names.find(folder);
            if (current != point.current.names.end() && current->second.contains(name))
                names[folder][name] = current->second.at(name);
            else
                names[folder].erase(name);
        }
        // The files reachable from the root, by relative path.
        std::map<std::string, int> files;
        std::vector<std::string> madeFolders;
        std::function<void(const std::string&)> walk = [&](const std::string& folder) {
            for (const auto& [name, entry] : names[folder]) {
                const std::string path = folder.empty() ? name : folder + "/" + name;
                if (entry.folder) {
                    madeFolders.push_back(path);
                    walk(path);
                } else {
                    files[path] = entry.id;
                }
            }
        };
        walk("");
        const auto bytesOf = [](const Disk& disk, int id) {
            const auto it = disk.bytes.find(id);
            return it == disk.bytes.end() ? std::string() : it->second;
        };
        std::map<std::string, std::vector<std::string>> versions;
        for (const auto& [path, id] : files)
            versions[path] = tornVersions(bytesOf(point.durable, id), bytesOf(point.current, id));
        for (const int base : {0, 1}) {
            for (const auto& [varied, options] : versions) {
                for (const std::string& option : options) {
                    DiskState state;
                    for (const std::string& folder : madeFolders)
                        state[folder + "/"];
                    for (const auto& [path, its] : versions)
                        state[path] = path == varied ? option : its[static_cast<std::size_t>(base)];
                    states.insert(std::move(state));
                }
            }
            if (versions.empty()) {
                DiskState state;
                for (const std::string& folder : madeFolders)
                    state[folder + "/"];
                states.insert(std::move(state));
            }
        }
    }
    return states;
}

void writeState(const std::string& root, const DiskState& state)
{
    for (const auto& item : std::filesystem::directory_iterator(root))
        std::filesystem::remove_all(item.path());
    for (const auto& [path, bytes] : state) {
        if (path.ends_with('/'))
            std::filesystem::create_directories(root + "/" + path);
        else
            testutil::writeBytes(root + "/" + path, bytes);
    }
}

// A recorded session: the scene's versions, the target's name and, for a
// session with a journal, its folder (relative to the root).
struct Session {
    std::vector<std::string> versions;
    std::string target;
    std::string recovery;
    std::vector<CutPoint> points;
};

int versionOf(const std::vector<std::string>& versions, const std::string& bytes, int newest)
{
    for (int v = std::min(newest, static_cast<int>(versions.size()) - 1); v >= 0; --v)
        if (versions[static_cast<std::size_t>(v)] == bytes)
            return v;
    return -1;
}

// What the state on disk breaks of `promises`, as the next start finds it.
std::vector<std::string> broken(const std::string& root, const Session& session, const DiskState& state,
                                const Promises& promises)
{
    std::vector<std::string> faults;
    const auto target = state.find(session.target);
    const int held = target == state.end() ? -1 : versionOf(session.versions, target->second, INT_MAX);
    bool backupHoldsOld = false;
    bool backupLeft = false;
    for (const auto& [path, bytes] : state) {
        if (path.starts_with(session.target + ".backup-")) {
            backupLeft = true;
            backupHoldsOld = backupHoldsOld || (promises.fileVersion >= 0 && versionOf(session.versions, bytes, INT_MAX) == promises.fileVersion);
        }
    }
    if (promises.savingTo < 0) {
        if (held != promises.fileVersion)
            faults.push_back("the target is not the saved scene");
        if (backupLeft)
            faults.push_back("a backup is left after the save");
    } else if (held != promises.fileVersion && held != promises.savingTo && !backupHoldsOld) {
        faults.push_back("the target is neither scene and no backup holds the old one");
    }
    if (session.recovery.empty())
        return faults;
    int best = held;
    for (const auto& orphan : COrphanJournal::FindAll(QString::fromStdString(root + "/" + session.recovery))) {
        RecoveredScene scene = orphan->Recover();
        CTeskDoc doc;
        doc.ReplaceObjects(std::move(scene.objects));
        const int recovered = scene.recovered ? versionOf(session.versions, testutil::save(doc), INT_MAX) : -1;
        if (promises.closed)
            faults.push_back("a journal comes back after the scene was closed without saving");
        else if (recovered < 0)
            faults.push_back("recovery gives a scene that was never made");
        else if (recovered < held)
            faults.push_back("recovery offers a scene older than the saved file");
        best = std::max(best, recovered);
    }
    if (best < promises.flushed)
        faults.push_back("a flushed change is lost");
    return faults;
}

struct Outcome {
    std::size_t states = 0;
    std::size_t violations = 0;
};

Outcome explore(const std::string& root, const Session& session)
{
    Outcome outcome;
    std::set<std::string> told;
    for (const CutPoint& point : session.points) {
        for (const DiskState& state : statesAt(point)) {
            writeState(root, state);
            const std::vector<std::string> faults = broken(root, session, state, point.promises);
            ++outcome.states;
            outcome.violations += faults.empty() ? 0 : 1;
            for (const std::string& fault : faults) {
                if (told.insert(fault).second)
                    ADD_FAILURE() << "after " << point.call << ": " << fault;
            }
        }
    }
    return outcome;
}

CTeskDoc& sceneOf(CTeskDoc& doc, int objects)
{
    std::vector<std::unique_ptr<C3dObject>> list;
    for (int i = 0; i < objects; ++i)
        list.push_back(testutil::makeObject("object " + std::to_string(i), 1 + i % 3, i, -i, i % 5, i % 2, i * 77));
    doc.ReplaceObjects(std::move(list));
    return doc;
}

enum class Kind { New, Rename, InPlace, Journal, KeptAtExit };

struct PowerCutCase {
    std::string label;
    Kind kind;
};

// Records the session of `kind` in `root`.
Session record(const std::string& root, Kind kind)
{
    Session session;
    session.target = "scene.qbx";
    const QString target = QString::fromStdString(root + "/" + session.target);
    CTeskDoc* doc = new CTeskDoc;
    sceneOf(*doc, 150);
    session.versions.push_back(testutil::save(*doc));
    fw::FileError error;
    Promises promises;
    if (kind != Kind::New) {
        EXPECT_TRUE(doc->OnSaveDocument(target, &error)) << error.reason.toStdString();
        EXPECT_TRUE(doc->OnOpenDocument(target, &error)) << error.reason.toStdString();
        promises.fileVersion = 0;
    }
    if (kind == Kind::InPlace) {
        EXPECT_EQ(::link(target.toLocal8Bit().constData(), (root + "/link.qbx").c_str()), 0);
    }
    std::mt19937 rng(7);
    const auto save = [&](Recorder& recorder) {
        promises.savingTo = promises.made;
        recorder.note("save begins");
        EXPECT_TRUE(doc->OnSaveDocument(target, &error)) << error.reason.toStdString();
        promises.fileVersion = promises.made;
        promises.savingTo = -1;
        recorder.note("save returned");
    };
    if (kind == Kind::New || kind == Kind::Rename || kind == Kind::InPlace) {
        Recorder recorder(root, promises);
        testutil::RandomEdit(*doc, rng);
        session.versions.push_back(testutil::save(*doc));
        promises.made = 1;
        save(recorder);
        session.points = recorder.points();
        delete doc;
        return session;
    }
    session.recovery = "state/tesk/recovery";
    CDocJournal* keeper = CDocJournal::Attach(*doc, QString::fromStdString(root + "/" + session.recovery));
    Recorder recorder(root, promises);
    const auto edit = [&](int count) {
        for (int i = 0; i < count; ++i) {
            testutil::RandomEdit(*doc, rng);
            // The journal's file is made on a worker: its calls are recorded one at a time.
            CDocJournal::WaitForDiskWork();
            QCoreApplication::sendPostedEvents();
            session.versions.push_back(testutil::save(*doc));
            ++promises.made;
            recorder.note("change");
        }
    };
    const auto flush = [&] {
        keeper->Flush();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
        promises.flushed = promises.made;
        recorder.note("flush returned");
    };
    edit(3);
    if (kind == Kind::KeptAtExit) {
        keeper->Keep();
        promises.flushed = promises.made;
        recorder.note("kept");
        session.points = recorder.points();
        delete doc;
        return session;
    }
    flush();
    edit(2);
    keeper->journal()->Compact(doc->GetObjects());
    promises.flushed = promises.made;
    recorder.note("compacted");
    edit(1);
    flush();
    edit(1);
    save(recorder);
    edit(1);
    flush();
    // Closing without saving gives up the changes since the save.
    promises.flushed = promises.fileVersion;
    recorder.note("closing without saving");
    delete doc;
    CDocJournal::WaitForDiskWork();
    promises.closed = true;
    recorder.note("closed without saving");
    session.points = recorder.points();
    return session;
}

class PowerCut : public ::testing::TestWithParam<PowerCutCase> {};

TEST_P(PowerCut, EveryStateACutCanLeaveKeepsTheScene)
{
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    const Session session = record(root, GetParam().kind);
    const Outcome outcome = explore(root, session);
    std::cout << "[ power cut ] " << GetParam().label << ": " << session.points.size() << " calls, " << outcome.states
              << " states, " << outcome.violations << " violations\n";
    EXPECT_GT(outcome.states, session.points.size());
    EXPECT_EQ(outcome.violations, 0u);
}

INSTANTIATE_TEST_SUITE_P(Sessions, PowerCut,
                         ::testing::Values(PowerCutCase{"save of a new file", Kind::New},
                                           PowerCutCase{"save through a temporary file", Kind::Rename},
                                           PowerCutCase{"save in place (second hard link)", Kind::InPlace},
                                           PowerCutCase{"journal: start, changes, flush, compaction, save, close", Kind::Journal},
                                           PowerCutCase{"journal kept at the end of a session", Kind::KeptAtExit}),
                         testutil::ByLabel());

} // namespace
