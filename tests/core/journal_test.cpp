#include "testutil.h"

#include "framework/core/diskwork.h"
#include "framework/core/posix.h"
#include "framework/core/systemcalls.h"
#include "journal/docjournal.h"
#include "journal/journalreader.h"
#include "journal/orphanjournal.h"
#include "journal/scenejournal.h"
#include "tests/randomedits.h"

#include <QFile>
#include <QFileInfo>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThreadPool>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::span<const char> spanOf(const std::string& bytes) { return {bytes.data(), bytes.size()}; }

// Lets the journals' files be made and their outcome come back.
void settle()
{
    CDocJournal::WaitForDiskWork();
    QCoreApplication::sendPostedEvents();
}

// Rebuilds the scene of `journal` and returns its saved bytes, or nothing
// when the journal gives back no scene.
std::optional<std::string> recovered(const std::string& journal, const QString& basePath, RecoveredScene* info = nullptr)
{
    JournalContents contents;
    if (!ReadJournal(spanOf(journal), contents, nullptr))
        return std::nullopt;
    RecoveredScene scene = RecoverScene(contents, basePath.isNull() ? contents.base.path : basePath);
    std::optional<std::string> bytes;
    if (scene.recovered) {
        CTeskDoc doc;
        doc.ReplaceObjects(std::move(scene.objects));
        bytes = testutil::save(doc);
    }
    if (info)
        *info = std::move(scene);
    return bytes;
}

// A scene edited with its journal on: the journal's bytes and the saved
// scene after each change (states[0]: before the first; for a big base only
// the first and the last, to keep the tests quick).
struct History {
    QTemporaryDir dir;
    QString basePath;
    std::string journal;
    std::vector<std::string> states;
    bool hasSnapshot = false;
    std::vector<std::uint64_t> ends;
};

void makeHistory(History& h, int baseObjects, int changes, unsigned seed)
{
    CTeskDoc doc;
    if (baseObjects > 0) {
        std::vector<std::unique_ptr<C3dObject>> objects;
        for (int i = 0; i < baseObjects; ++i)
            objects.push_back(testutil::makeObject("base " + std::to_string(i), 1 + i % 3, i, -i, 0, i % 2, i));
        doc.ReplaceObjects(std::move(objects));
        h.basePath = h.dir.filePath(QStringLiteral("base.qbx"));
        fw::FileError error;
        ASSERT_TRUE(doc.OnSaveDocument(h.basePath, &error)) << error.reason.toStdString();
        ASSERT_TRUE(doc.OnOpenDocument(h.basePath, &error)) << error.reason.toStdString();
    }
    CDocJournal::Attach(doc, h.dir.filePath(QStringLiteral("state/tesk/recovery")));
    std::mt19937 rng(seed);
    h.states.push_back(testutil::save(doc));
    for (int i = 0; i < changes; ++i) {
        testutil::RandomEdit(doc, rng);
        if (baseObjects <= 1000 || i == changes - 1)
            h.states.push_back(testutil::save(doc));
    }
    settle();
    ASSERT_NE(CDocJournal::Of(doc)->journal(), nullptr);
    h.journal = testutil::readBytes(CDocJournal::Of(doc)->journal()->path().toStdString());
    JournalContents contents;
    ASSERT_TRUE(ReadJournal(spanOf(h.journal), contents, nullptr));
    ASSERT_EQ(contents.changes.size(), static_cast<std::size_t>(changes));
    h.hasSnapshot = contents.hasSnapshot;
    h.ends.push_back(contents.startEnd);
    for (const auto& change : contents.changes)
        h.ends.push_back(change.end);
}

struct RoundTripCase {
    std::string label;
    int baseObjects;
    bool copiedWhole;
};

class JournalRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(JournalRoundTrip, GivesBackTheSceneAfterTheLastChange)
{
    const RoundTripCase& c = GetParam();
    History h;
    makeHistory(h, c.baseObjects, 400, 7);
    EXPECT_EQ(h.hasSnapshot, c.copiedWhole);
    EXPECT_EQ(recovered(h.journal, QString()), h.states.back());
}

INSTANTIATE_TEST_SUITE_P(Scenes, JournalRoundTrip,
                         ::testing::Values(RoundTripCase{"untitled scene", 0, false},
                                           RoundTripCase{"small file copied whole", 40, true},
                                           RoundTripCase{"file above the copy limit", int(CDocJournal::kSnapshotLimit) + 1, false}),
                         testutil::ByLabel());

TEST(JournalReader, TruncatedAtEveryOffsetGivesBackEveryWholeChange)
{
    History h;
    makeHistory(h, 0, 25, 11);
    for (std::size_t cut = 0; cut <= h.journal.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        RecoveredScene info;
        const std::optional<std::string> bytes = recovered(h.journal.substr(0, cut), QString(), &info);
        if (cut < h.ends.front()) {
            EXPECT_FALSE(bytes);
            continue;
        }
        const std::size_t whole = static_cast<std::size_t>(std::upper_bound(h.ends.begin(), h.ends.end(), cut) - h.ends.begin()) - 1;
        ASSERT_TRUE(bytes);
        EXPECT_EQ(*bytes, h.states[whole]);
        EXPECT_EQ(info.damage.isEmpty(), cut == h.ends[whole]);
    }
}

// A record of `kind` with a valid check.
std::string record(journal::Kind kind, const std::string& payload)
{
    std::string out;
    journal::AppendRecord(out, kind, payload);
    return out;
}

struct DamageCase {
    std::string label;
    // Damages the journal of 10 changes whose records end at `ends`.
    std::function<void(std::string&, const std::vector<std::uint64_t>&)> damage;
    bool readable;
    std::size_t changesKept; // the scene after this many changes comes back
    std::size_t lost;        // changes read but not applied
};

class JournalDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(JournalDamage, KeepsEveryChangeBeforeTheDamage)
{
    const DamageCase& c = GetParam();
    History h;
    makeHistory(h, 0, 10, 5);
    std::string journal = h.journal;
    c.damage(journal, h.ends);
    RecoveredScene info;
    const std::optional<std::string> bytes = recovered(journal, QString(), &info);
    if (!c.readable) {
        EXPECT_FALSE(bytes);
        return;
    }
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, h.states[c.changesKept]);
    EXPECT_EQ(info.applied, c.changesKept);
    EXPECT_EQ(info.lost, c.lost);
    EXPECT_FALSE(info.damage.isEmpty());
    const QString recoveredText = c.changesKept == 1 ? QStringLiteral("1 change was recovered")
                                                     : QStringLiteral("%1 changes were recovered").arg(c.changesKept);
    EXPECT_TRUE(DescribeRecovery(info, QStringLiteral("Untitled")).contains(recoveredText)) << recoveredText.toStdString();
}

const std::string kRemoveFarAway = std::string("\x40\x42\x0F\x00", 4); // position 1,000,000

INSTANTIATE_TEST_SUITE_P(
    Damage, JournalDamage,
    ::testing::Values(
        DamageCase{"payload byte of change 4 flipped", [](std::string& j, const auto& e) { j[e[4] - 6] ^= 0x20; }, true, 3, 0},
        DamageCase{"check of change 4 flipped", [](std::string& j, const auto& e) { j[e[4] - 1] ^= 1; }, true, 3, 0},
        DamageCase{"check of change 2 flipped", [](std::string& j, const auto& e) { j[e[2] - 1] ^= 1; }, true, 1, 0},
        DamageCase{"length of change 4 beyond the end", [](std::string& j, const auto& e) { j[e[3] + 3] = '\x7F'; }, true, 3, 0},
        DamageCase{"zero length at change 4", [](std::string& j, const auto& e) { j.replace(e[3], 4, std::string(4, '\0')); }, true, 3, 0},
        DamageCase{"unknown kind with a valid check",
                   [](std::string& j, const auto& e) { j.insert(e[4], record(journal::Kind(9), "abcd")); }, true, 4, 0},
        DamageCase{"removal far beyond the scene",
                   [](std::string& j, const auto&) { j += record(journal::Kind::Remove, kRemoveFarAway); }, true, 10, 1},
        DamageCase{"change whose object is no object",
                   [](std::string& j, const auto&) {
                       j += record(journal::Kind::Change, std::string(4, '\0') + "\xFF\xFF\x01");
                       j += record(journal::Kind::Remove, std::string(4, '\0'));
                   },
                   true, 10, 2},
        DamageCase{"add away from the end",
                   [](std::string& j, const auto&) {
                       std::string object = std::string("\xFF\xFF\xFF\x00", 4);
                       fw::Archive ar = fw::Archive::forStoring();
                       ar.WriteObject(*testutil::makeObject("x", 1, 0, 0, 0, 0, 0));
                       j += record(journal::Kind::Add, object + ar.bytes());
                   },
                   true, 10, 1},
        DamageCase{"base record damaged", [](std::string& j, const auto&) { j[journal::kHeaderSize + 6] ^= 1; }, false, 0, 0},
        DamageCase{"another version", [](std::string& j, const auto&) { j[8] = 2; }, false, 0, 0},
        DamageCase{"not a journal", [](std::string& j, const auto&) { j.replace(0, 8, "TESKJRNX"); }, false, 0, 0}),
    testutil::ByLabel());

enum class BaseFate { Kept, TouchedSameBytes, Rewritten, Deleted };

struct BaseCase {
    std::string label;
    int baseObjects;
    BaseFate fate;
    JournalBase expected;
    bool recovers;
};

class JournalBaseState : public ::testing::TestWithParam<BaseCase> {};

TEST_P(JournalBaseState, NeverAppliesChangesToAnotherBase)
{
    const BaseCase& c = GetParam();
    History h;
    makeHistory(h, c.baseObjects, 30, 3);
    switch (c.fate) {
    case BaseFate::Kept: break;
    case BaseFate::TouchedSameBytes: {
        const std::string bytes = testutil::readBytes(h.basePath.toStdString());
        ASSERT_TRUE(QFile::remove(h.basePath));
        testutil::writeBytes(h.basePath.toStdString(), bytes);
        break;
    }
    case BaseFate::Rewritten: {
        std::string bytes = testutil::readBytes(h.basePath.toStdString());
        bytes.back() ^= 1;
        testutil::writeBytes(h.basePath.toStdString(), bytes);
        break;
    }
    case BaseFate::Deleted: ASSERT_TRUE(QFile::remove(h.basePath)); break;
    }
    RecoveredScene info;
    const std::optional<std::string> bytes = recovered(h.journal, QString(), &info);
    EXPECT_EQ(info.base, c.expected);
    EXPECT_EQ(bytes.has_value(), c.recovers);
    if (bytes) {
        EXPECT_EQ(*bytes, h.states.back());
    }
    const QString note = DescribeRecovery(info, QStringLiteral("base.qbx"));
    EXPECT_EQ(note.isEmpty(), c.expected == JournalBase::Unchanged);
    EXPECT_EQ(note.contains(QStringLiteral("nothing was recovered")), !c.recovers);
}

constexpr int kAboveLimit = int(CDocJournal::kSnapshotLimit) + 1;

INSTANTIATE_TEST_SUITE_P(
    Bases, JournalBaseState,
    ::testing::Values(BaseCase{"kept", kAboveLimit, BaseFate::Kept, JournalBase::Unchanged, true},
                      BaseCase{"rewritten with the same bytes", kAboveLimit, BaseFate::TouchedSameBytes, JournalBase::Unchanged, true},
                      BaseCase{"changed, journal without the scene", kAboveLimit, BaseFate::Rewritten, JournalBase::Changed, false},
                      BaseCase{"vanished, journal without the scene", kAboveLimit, BaseFate::Deleted, JournalBase::Missing, false},
                      BaseCase{"changed, journal with the scene", 5, BaseFate::Rewritten, JournalBase::Changed, true},
                      BaseCase{"vanished, journal with the scene", 5, BaseFate::Deleted, JournalBase::Missing, true}),
    testutil::ByLabel());

mode_t modeOf(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode & 07777;
}

TEST(DocJournal, LivesWhileTheSceneHasUnsavedChangesAndContinuesWhenRecovered)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("state/tesk/recovery"));
    const QString scene = dir.filePath(QStringLiteral("scene.qbx"));
    std::mt19937 rng(1);
    QString journalPath;
    {
        CTeskDoc doc;
        CDocJournal::Attach(doc, folder);
        EXPECT_EQ(CDocJournal::Of(doc)->journal(), nullptr);
        doc.AddObject(SHAPE_CUBE);
        settle();
        ASSERT_NE(CDocJournal::Of(doc)->journal(), nullptr);
        journalPath = CDocJournal::Of(doc)->journal()->path();
        EXPECT_TRUE(journalPath.startsWith(folder + QLatin1Char('/')));
        EXPECT_EQ(modeOf(folder), 0700u);
        EXPECT_EQ(modeOf(journalPath), 0600u);
        // A running editor's journal is never offered.
        EXPECT_TRUE(COrphanJournal::FindAll(folder).empty());

        fw::FileError error;
        ASSERT_TRUE(doc.OnSaveDocument(scene, &error));
        EXPECT_FALSE(QFileInfo::exists(journalPath)) << "saved";
        EXPECT_EQ(CDocJournal::Of(doc)->journal(), nullptr);
        for (int i = 0; i < 40; ++i)
            testutil::RandomEdit(doc, rng);
        settle();
        journalPath = CDocJournal::Of(doc)->journal()->path();
        CDocJournal::Of(doc)->Keep();
        EXPECT_TRUE(QFileInfo::exists(journalPath)) << "kept";

        std::vector<std::unique_ptr<COrphanJournal>> orphans = COrphanJournal::FindAll(folder);
        ASSERT_EQ(orphans.size(), 1u);
        EXPECT_EQ(orphans[0]->sceneName(), QStringLiteral("scene.qbx"));
        EXPECT_EQ(orphans[0]->changeCount(), 40u);
        EXPECT_TRUE(orphans[0]->BuildsOn(scene));

        CTeskDoc again;
        CDocJournal::Attach(again, folder);
        RecoveredScene recoveredScene = orphans[0]->Recover();
        ASSERT_TRUE(recoveredScene.recovered);
        orphans[0]->ContinueIn(again, recoveredScene);
        EXPECT_EQ(testutil::save(again), testutil::save(doc));
        EXPECT_TRUE(again.IsModified());
        EXPECT_EQ(again.GetPathName(), scene);
        // The recovered scene goes on in the same journal.
        for (int i = 0; i < 40; ++i)
            testutil::RandomEdit(again, rng);
        ASSERT_NE(CDocJournal::Of(again)->journal(), nullptr);
        EXPECT_EQ(CDocJournal::Of(again)->journal()->path(), journalPath);
        EXPECT_EQ(recovered(testutil::readBytes(journalPath.toStdString()), QString()), testutil::save(again));
    }
    CDocJournal::WaitForDiskWork();
    EXPECT_FALSE(QFileInfo::exists(journalPath)) << "closed";
}

TEST(DocJournal, AFolderThatCannotBeMadeIsToldOnceAndNotTriedAgainUntilTheSceneIsSaved)
{
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("state"));
    testutil::writeBytes(blocker.toStdString(), "a file where the folder goes");
    CTeskDoc doc;
    QStringList told;
    CDocJournal::Attach(doc, blocker + QStringLiteral("/tesk/recovery"));
    QObject::connect(CDocJournal::Of(doc), &CDocJournal::failed, [&told](const QString& reason) { told.append(reason); });
    doc.AddObject(SHAPE_SPHERE);
    doc.AddObject(SHAPE_CUBE);
    settle();
    EXPECT_EQ(CDocJournal::Of(doc)->journal(), nullptr);
    EXPECT_EQ(told, QStringList{QStringLiteral("Not a directory")});
    fw::FileError error;
    ASSERT_TRUE(doc.OnSaveDocument(dir.filePath(QStringLiteral("scene.qbx")), &error));
    doc.AddObject(SHAPE_STAR);
    doc.AddObject(SHAPE_STAR);
    settle();
    EXPECT_EQ(told.size(), 2) << "told again after a save";
    ASSERT_TRUE(QFile::remove(blocker));
    doc.AddObject(SHAPE_CUBE);
    EXPECT_EQ(CDocJournal::Of(doc)->journal(), nullptr) << "tried again before a save";
    ASSERT_TRUE(doc.OnSaveDocument(dir.filePath(QStringLiteral("scene.qbx")), &error));
    doc.AddObject(SHAPE_STAR);
    EXPECT_NE(CDocJournal::Of(doc)->journal(), nullptr);
    EXPECT_EQ(doc.GetObjects().size(), 6u);
    EXPECT_EQ(told.size(), 2);
}

// The journal's file calls, failing from the call numbered `failAt` on (-1:
// never): that write stops half-way, as on a full disk, and every later
// write fails with ENOSPC; a failing flush reports EIO.
struct FaultyDisk {
    static inline std::atomic<int> calls = 0;
    static inline std::atomic<int> failAt = -1;
    static inline std::atomic<int> error = 0;

    explicit FaultyDisk(int at)
    {
        calls = 0;
        failAt = at;
        error = 0;
        fw::systemCalls().write = &write;
        fw::systemCalls().fdatasync = &fdatasync;
    }
    ~FaultyDisk() { fw::systemCalls() = fw::systemsOwnCalls(); }
    static bool fired() { return error != 0; }

    static bool failsNow(int withError)
    {
        if (calls++ == failAt)
            error = withError;
        if (error != 0)
            errno = error;
        return error != 0;
    }
    static ssize_t write(int fd, const void* data, std::size_t size)
    {
        const bool firstFailure = !fired();
        if (!failsNow(ENOSPC))
            return ::write(fd, data, size);
        return firstFailure && size > 1 ? ::write(fd, data, size / 2) : -1;
    }
    static int fdatasync(int fd) { return failsNow(EIO) ? -1 : ::fdatasync(fd); }
};

// A short session on a small saved scene: changes, flushes (on the pool,
// brought back here) and a compaction, with the disk failing at call
// `failAt`. Returns the number of file calls made.
int failingSession(int failAt)
{
    SCOPED_TRACE("failing at call " + std::to_string(failAt));
    // The last session's journal may still be being removed on the worker.
    CDocJournal::WaitForDiskWork();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("recovery"));
    const QString scene = dir.filePath(QStringLiteral("scene.qbx"));
    CTeskDoc doc;
    for (int i = 0; i < 4; ++i)
        doc.AddObject(SHAPE_CUBE);
    fw::FileError error;
    EXPECT_TRUE(doc.OnSaveDocument(scene, &error));
    CDocJournal* keeper = CDocJournal::Attach(doc, folder);
    QStringList told;
    QObject::connect(keeper, &CDocJournal::failed, [&told](const QString& reason) { told.append(reason); });
    const FaultyDisk disk(failAt);
    std::mt19937 rng(3);
    std::vector<std::string> states{testutil::save(doc)};
    // The scene after the last change completed before the failure.
    std::size_t kept = 0;
    const auto edit = [&](int count) {
        for (int i = 0; i < count; ++i) {
            testutil::RandomEdit(doc, rng);
            // A change is kept once its record is written: after the file is made.
            settle();
            states.push_back(testutil::save(doc));
            kept = FaultyDisk::fired() ? kept : states.size() - 1;
        }
    };
    const auto flush = [&] {
        keeper->Flush();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
    };
    edit(5);
    flush();
    edit(5);
    if (keeper->journal())
        keeper->journal()->Compact(doc.GetObjects());
    edit(3);
    flush();
    edit(1);

    const int calls = FaultyDisk::calls;
    if (!FaultyDisk::fired()) {
        EXPECT_TRUE(told.isEmpty());
        return calls;
    }
    const QString reason = fw::errnoText(FaultyDisk::error);
    EXPECT_EQ(told, QStringList{reason}) << "told once";
    const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    if (!keeper->journal()) {
        EXPECT_TRUE(files.isEmpty()) << "a journal that could not start leaves nothing";
    } else {
        EXPECT_EQ(files.size(), 1);
        RecoveredScene info;
        EXPECT_EQ(recovered(testutil::readBytes(keeper->journal()->path().toStdString()), scene, &info), states[kept]);
        EXPECT_EQ(info.damage, QString()) << "a record torn by the failure is cut off";
    }
    // A save starts afresh: the next failure is told again.
    EXPECT_TRUE(doc.OnSaveDocument(scene, &error));
    edit(1);
    EXPECT_EQ(told, (QStringList{reason, reason}));
    return calls;
}

TEST(DocJournal, AFailingDiskIsToldOnceAndKeepsEveryChangeBeforeTheFailure)
{
    const int calls = failingSession(-1);
    ASSERT_GT(calls, 15) << "the session reached the disk";
    for (int failAt = 0; failAt < calls; ++failAt)
        failingSession(failAt);
}

struct CompactionCase {
    std::string label;
    int baseObjects; // 0: an untitled scene
    bool continued;  // the journal was recovered and continued first
};

class JournalCompaction : public ::testing::TestWithParam<CompactionCase> {};

TEST_P(JournalCompaction, KeepsTheJournalSmallAndRecoverable)
{
    const CompactionCase& c = GetParam();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("recovery"));
    const QString scene = dir.filePath(QStringLiteral("scene.qbx"));
    auto doc = std::make_unique<CTeskDoc>();
    for (int i = 0; i < c.baseObjects; ++i)
        doc->AddObject(SHAPE_CUBE);
    fw::FileError error;
    if (c.baseObjects > 0) {
        ASSERT_TRUE(doc->OnSaveDocument(scene, &error));
    }
    CDocJournal::Attach(*doc, folder);
    std::mt19937 rng(8);
    for (int i = 0; i < 20; ++i)
        testutil::RandomEdit(*doc, rng);
    settle();
    if (c.continued) {
        CDocJournal::Of(*doc)->Keep();
        auto orphans = COrphanJournal::FindAll(folder);
        ASSERT_EQ(orphans.size(), 1u);
        auto again = std::make_unique<CTeskDoc>();
        CDocJournal::Attach(*again, folder);
        RecoveredScene recoveredScene = orphans[0]->Recover();
        orphans[0]->ContinueIn(*again, recoveredScene);
        doc = std::move(again);
    }
    const CSceneJournal& journal = *CDocJournal::Of(*doc)->journal();
    const QString path = journal.path();
    // Long names make big records: the journal outgrows the scene sooner.
    const std::string name(2000, 'n');
    int compactions = 0;
    std::uint64_t longest = 0;
    for (int i = 0; compactions < 2; ++i) {
        const std::uint64_t before = journal.length();
        C3dObject& object = *doc->GetObjects()[rng() % doc->GetObjects().size()];
        object.m_pShape->SetName(name + std::to_string(i));
        doc->ObjectChanged(&object);
        // Compaction comes on the event loop's next turn.
        QCoreApplication::sendPostedEvents();
        compactions += journal.length() < before ? 1 : 0;
        longest = std::max(longest, journal.length());
    }
    EXPECT_FALSE(journal.failed());
    EXPECT_EQ(journal.path(), path);
    // At most the scene's copy, the floor of change records and one record.
    EXPECT_LT(longest, CSceneJournal::kCompactFloor + 128 * 1024);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(path).fileName()});
    EXPECT_TRUE(COrphanJournal::FindAll(folder).empty()) << "still held by this editor";
    RecoveredScene info;
    EXPECT_EQ(recovered(testutil::readBytes(path.toStdString()), QString(), &info), testutil::save(*doc));
    EXPECT_EQ(info.base, c.baseObjects > 0 ? JournalBase::Unchanged : JournalBase::None);
    EXPECT_TRUE(info.damage.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Scenes, JournalCompaction,
                         ::testing::Values(CompactionCase{"untitled scene", 0, false}, CompactionCase{"file", 30, false},
                                           CompactionCase{"recovered and continued", 30, true}),
                         testutil::ByLabel());

struct CompactionWorkCase {
    std::string label;
    int changesDuring; // changes made while the disk work runs
    bool fails;        // the new file cannot be written
};

class JournalCompactionWork : public ::testing::TestWithParam<CompactionWorkCase> {};

TEST_P(JournalCompactionWork, KeepsEveryChangeInOrderOrTheOldJournal)
{
    const CompactionWorkCase& c = GetParam();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("recovery"));
    const QString scene = dir.filePath(QStringLiteral("scene.qbx"));
    CTeskDoc doc;
    for (int i = 0; i < 30; ++i)
        doc.AddObject(SHAPE_CUBE);
    fw::FileError error;
    ASSERT_TRUE(doc.OnSaveDocument(scene, &error));
    CDocJournal* keeper = CDocJournal::Attach(doc, folder);
    QStringList told;
    QObject::connect(keeper, &CDocJournal::failed, [&told](const QString& reason) { told.append(reason); });
    std::mt19937 rng(5);
    const std::string name(2000, 'n');
    int named = 0;
    const auto rename = [&] {
        C3dObject& object = *doc.GetObjects()[rng() % doc.GetObjects().size()];
        object.m_pShape->SetName(name + std::to_string(named++));
        doc.ObjectChanged(&object);
    };
    // Changes pile up within one turn of the event loop: no compaction yet.
    rename();
    settle();
    ASSERT_NE(keeper->journal(), nullptr);
    while (!keeper->journal()->NeedsCompaction(doc.GetObjects().size()))
        rename();
    rename();
    const CSceneJournal& journal = *keeper->journal();
    const std::string before = testutil::readBytes(journal.path().toStdString());
    ASSERT_EQ(before.size(), journal.length()) << "nothing compacted inside a change";

    const fw::DiskWorkRunner previous = fw::SetDiskWorkRunner([&](const std::function<void()>& work) {
        for (int i = 0; i < c.changesDuring; ++i)
            rename();
        const FaultyDisk disk(c.fails ? 0 : -1);
        work();
    });
    QCoreApplication::sendPostedEvents();
    fw::SetDiskWorkRunner(previous);
    rename();

    const std::string after = testutil::readBytes(journal.path().toStdString());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(journal.path()).fileName()});
    EXPECT_EQ(journal.failed(), c.fails);
    if (c.fails) {
        EXPECT_EQ(told, QStringList{fw::errnoText(ENOSPC)});
        EXPECT_TRUE(after == before) << "the old journal is left as it was";
    } else {
        EXPECT_TRUE(told.isEmpty());
        EXPECT_LT(after.size(), before.size());
        EXPECT_EQ(after.size(), journal.length());
        EXPECT_EQ(recovered(after, scene), testutil::save(doc));
        JournalContents contents;
        ASSERT_TRUE(ReadJournal(spanOf(after), contents, nullptr));
        EXPECT_EQ(contents.changes.size(), std::size_t(c.changesDuring + 1)) << "carried over after the scene's copy";
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, JournalCompactionWork,
                         ::testing::Values(CompactionWorkCase{"quiet", 0, false},
                                           CompactionWorkCase{"changes while the disk works", 3, false},
                                           CompactionWorkCase{"new file cannot be written", 0, true},
                                           CompactionWorkCase{"fails with changes waiting", 2, true}),
                         testutil::ByLabel());

// Holds the opens of files (the making of journal files) until released.
struct HeldOpens {
    static inline std::atomic<bool> released = false;

    HeldOpens()
    {
        released = false;
        fw::systemCalls().open = [](const char* path, int flags, mode_t mode) {
            released.wait(false);
            return ::open(path, flags, mode);
        };
    }
    ~HeldOpens()
    {
        Release();
        CDocJournal::WaitForDiskWork();
        fw::systemCalls() = fw::systemsOwnCalls();
    }
    static void Release()
    {
        released = true;
        released.notify_all();
    }
};

enum class AfterFirstChanges { Settle, Save, Close, Keep };

struct CreationCase {
    std::string label;
    bool blocked; // the recovery folder cannot be made
    AfterFirstChanges then;
};

class JournalCreation : public ::testing::TestWithParam<CreationCase> {};

TEST_P(JournalCreation, ChangesWaitForTheFileAndWhatNeedsItWaitsToo)
{
    const CreationCase& c = GetParam();
    QTemporaryDir dir;
    const QString scene = dir.filePath(QStringLiteral("scene.qbx"));
    const QString state = dir.filePath(QStringLiteral("state"));
    if (c.blocked)
        testutil::writeBytes(state.toStdString(), "a file where the folder goes");
    const QString folder = state + QStringLiteral("/recovery");
    auto doc = std::make_unique<CTeskDoc>();
    QStringList told;
    QObject::connect(CDocJournal::Attach(*doc, folder), &CDocJournal::failed, [&told](const QString& reason) { told.append(reason); });
    const HeldOpens held;
    std::mt19937 rng(4);
    for (int i = 0; i < 6; ++i)
        testutil::RandomEdit(*doc, rng);
    const std::string edited = testutil::save(*doc);
    if (c.then == AfterFirstChanges::Save) {
        std::string journalAtWrite;
        const fw::DiskWorkRunner previous = fw::SetDiskWorkRunner([&](const std::function<void()>& work) {
            HeldOpens::Release();
            // The last read before the file appears: as the save's write found it.
            const CSceneJournal* journal = CDocJournal::Of(*doc)->journal();
            if (!QFileInfo::exists(scene) && journal && !journal->path().isEmpty())
                journalAtWrite = testutil::readBytes(journal->path().toStdString());
            work();
        });
        fw::FileError error;
        EXPECT_TRUE(doc->OnSaveDocument(scene, &error));
        fw::SetDiskWorkRunner(previous);
        EXPECT_TRUE(c.blocked || recovered(journalAtWrite, QString()) == edited) << "the journal is whole before the file is written";
    } else if (c.then == AfterFirstChanges::Close) {
        doc.reset();
    } else if (c.then == AfterFirstChanges::Keep) {
        HeldOpens::Release();
        CDocJournal::Of(*doc)->Keep();
    }
    HeldOpens::Release();
    settle();
    EXPECT_EQ(told, c.blocked ? QStringList{fw::errnoText(ENOTDIR)} : QStringList());
    const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    const bool kept = !c.blocked && (c.then == AfterFirstChanges::Settle || c.then == AfterFirstChanges::Keep);
    ASSERT_EQ(files.size(), kept ? 1 : 0) << files.join(u' ').toStdString();
    if (kept) {
        JournalContents contents;
        const std::string bytes = testutil::readBytes(QDir(folder).filePath(files.front()).toStdString());
        ASSERT_TRUE(ReadJournal(spanOf(bytes), contents, nullptr));
        EXPECT_EQ(contents.changes.size(), 6u) << "every change, in order";
        EXPECT_EQ(recovered(bytes, QString()), edited);
    }
    if (doc) {
        // The scene goes on; a failure is told again only after a save.
        const qsizetype toldBefore = told.size();
        doc->AddObject(SHAPE_STAR);
        settle();
        EXPECT_EQ(told.size(), toldBefore + (c.blocked && c.then == AfterFirstChanges::Save ? 1 : 0));
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, JournalCreation,
                         ::testing::Values(CreationCase{"changes before the file is made land in order", false, AfterFirstChanges::Settle},
                                           CreationCase{"a file that cannot be made", true, AfterFirstChanges::Settle},
                                           CreationCase{"a save waits for the file", false, AfterFirstChanges::Save},
                                           CreationCase{"a save while the file cannot be made", true, AfterFirstChanges::Save},
                                           CreationCase{"closing before the file is made leaves nothing", false, AfterFirstChanges::Close},
                                           CreationCase{"kept before the file is made", false, AfterFirstChanges::Keep}),
                         testutil::ByLabel());

TEST(QbxRecover, WritesTheRecoveredSceneOrRefusesWithoutItsBase)
{
    History h;
    makeHistory(h, kAboveLimit, 20, 9);
    const QString journal = h.dir.filePath(QStringLiteral("j.tjournal"));
    testutil::writeBytes(journal.toStdString(), h.journal);
    const QString moved = h.dir.filePath(QStringLiteral("moved.qbx"));
    ASSERT_TRUE(QFile::rename(h.basePath, moved));
    struct Case {
        const char* label;
        QStringList extra;
        int status;
    };
    for (const Case& c : {Case{"base gone", {}, 1}, Case{"base named", {moved}, 0}}) {
        SCOPED_TRACE(c.label);
        const QString out = h.dir.filePath(QStringLiteral("out.qbx"));
        QFile::remove(out);
        QProcess qbx;
        qbx.start(QStringLiteral(QBX_BINARY), QStringList{QStringLiteral("recover"), journal, out} + c.extra);
        ASSERT_TRUE(qbx.waitForFinished(30000));
        EXPECT_EQ(qbx.exitCode(), c.status) << qbx.readAllStandardError().toStdString();
        EXPECT_EQ(QFileInfo::exists(out), c.status == 0);
        if (c.status == 0) {
            EXPECT_EQ(testutil::readBytes(out.toStdString()), h.states.back());
        }
    }
}

} // namespace
