#include "testutil.h"

#include "framework/core/view.h"

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <vector>

namespace {

// Records every broadcast with what the document held at that moment.
class RecordingView : public fw::View {
public:
    struct Update {
        int hint;
        fw::Object* object;
        std::ptrdiff_t listedAt; // index in the list, -1 when not listed
        std::string name;        // read through the object: it must be alive
    };

    void OnUpdate(fw::View*, int hint, fw::Object* object) override
    {
        const auto* doc = static_cast<const CTeskDoc*>(GetDocument());
        const auto it = std::find_if(doc->GetObjects().begin(), doc->GetObjects().end(),
                                     [object](const auto& listed) { return listed.get() == object; });
        const std::ptrdiff_t at = it == doc->GetObjects().end() ? -1 : it - doc->GetObjects().begin();
        const auto* c3d = static_cast<const C3dObject*>(object);
        updates.push_back({hint, object, at, c3d ? std::string(c3d->m_pShape->m_szName) : std::string()});
    }
    fw::FrameWindow* GetParentFrame() const override { return nullptr; }

    std::vector<Update> updates;
};

struct Fixture : ::testing::Test {
    Fixture()
    {
        doc.AddView(&first);
        doc.AddView(&second);
    }
    ~Fixture() override
    {
        doc.RemoveView(&first);
        doc.RemoveView(&second);
    }

    CTeskDoc doc;
    RecordingView first;
    RecordingView second;
};

using DocumentTest = Fixture;

TEST_F(DocumentTest, AddingThreeTypesListsThemInOrderAndAnnouncesEachAfterAppending)
{
    const char* names[] = {"Kuleczka", "Sze\x9C" "cianik", "Ma\xB3" "a \x9C" "liczna gwiazdka"};
    for (int type = 1; type <= 3; ++type)
        ASSERT_NE(doc.AddObject(type), nullptr);

    ASSERT_EQ(doc.GetObjects().size(), 3u);
    EXPECT_TRUE(doc.IsModified());
    for (int i = 0; i < 3; ++i) {
        const C3dShape& shape = *doc.GetObjects()[i]->m_pShape;
        EXPECT_STREQ(shape.m_szName, names[i]);
        EXPECT_EQ(shape.m_nType, i + 1);
        EXPECT_EQ(std::tie(shape.m_nX, shape.m_nY, shape.m_nZ, shape.m_nColourMode, shape.m_nColour),
                  std::make_tuple(0, 0, 0, 0, 0));
    }
    for (const RecordingView* view : {&first, &second}) {
        ASSERT_EQ(view->updates.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(view->updates[i].hint, HINT_ADDED);
            EXPECT_EQ(view->updates[i].object, doc.GetObjects()[i].get());
            EXPECT_EQ(view->updates[i].listedAt, i) << "announced before it was appended";
        }
    }
}

TEST_F(DocumentTest, ChangeAndRemovalAreAnnouncedWhileTheObjectIsListedAndAlive)
{
    C3dObject* sphere = doc.AddObject(SHAPE_SPHERE);
    C3dObject* cube = doc.AddObject(SHAPE_CUBE);
    doc.SetModifiedFlag(false);

    sphere->m_pShape->SetName("Renamed");
    doc.ObjectChanged(sphere);
    EXPECT_TRUE(doc.IsModified());
    doc.SetModifiedFlag(false);
    doc.RemoveObject(sphere);
    EXPECT_TRUE(doc.IsModified());

    ASSERT_EQ(doc.GetObjects().size(), 1u);
    EXPECT_EQ(doc.GetObjects()[0].get(), cube);
    for (const RecordingView* view : {&first, &second}) {
        ASSERT_EQ(view->updates.size(), 4u);
        EXPECT_EQ(view->updates[2].hint, HINT_CHANGED);
        EXPECT_EQ(view->updates[2].listedAt, 0);
        EXPECT_EQ(view->updates[2].name, "Renamed");
        EXPECT_EQ(view->updates[3].hint, HINT_REMOVED);
        EXPECT_EQ(view->updates[3].listedAt, 0);
        EXPECT_EQ(view->updates[3].name, "Renamed");
    }
}

TEST_F(DocumentTest, RemovingTheOnlyObjectLeavesAnEmptyModifiedScene)
{
    C3dObject* star = doc.AddObject(SHAPE_STAR);
    doc.SetModifiedFlag(false);
    doc.RemoveObject(star);
    EXPECT_TRUE(doc.GetObjects().empty());
    EXPECT_TRUE(doc.IsModified());
}

// Under LeakSanitizer an object that is not destroyed fails the run.
// Regression: removing an object the scene does not list destroyed it,
// although the scene never owned it.
TEST_F(DocumentTest, RemovingAnUnlistedObjectAnnouncesItAndLeavesItAlive)
{
    doc.AddObject(SHAPE_SPHERE);
    const auto stray = testutil::makeObject("stray", 1, 0, 0, 0, 0, 0);
    doc.RemoveObject(stray.get());
    EXPECT_EQ(doc.GetObjects().size(), 1u);
    ASSERT_EQ(first.updates.size(), 2u);
    EXPECT_EQ(first.updates[1].hint, HINT_REMOVED);
    EXPECT_EQ(first.updates[1].listedAt, -1);
    EXPECT_EQ(first.updates[1].name, "stray");
    // Still alive and whole: the caller owns it and destroys it here.
    EXPECT_STREQ(stray->m_pShape->m_szName, "stray");
}

TEST_F(DocumentTest, AddObjectRejectsTypesOtherThanOneToThree)
{
    for (const int type : {0, 4, -1, 7}) {
        EXPECT_EQ(doc.AddObject(type), nullptr) << type;
    }
    EXPECT_TRUE(doc.GetObjects().empty());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_TRUE(first.updates.empty());
}

TEST(DocumentFileTest, ThreeObjectSceneSavedAndReopenedIsTheSame)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("scene.qbx"));

    std::vector<std::unique_ptr<C3dObject>> objects;
    objects.push_back(testutil::makeObject("Kuleczka", 1, 5, -3, 12, 0, 0));
    objects.push_back(testutil::makeObject("Sze\x9C" "cianik", 2, 0, 0, 0, 0, 2));
    objects.push_back(testutil::makeObject("\xAF\xF3\xB3w", 7, INT32_MIN, INT32_MAX, -1, 1, 0x8000FF));
    CTeskDoc doc;
    doc.ReplaceObjects(std::move(objects));
    doc.SetModifiedFlag();
    fw::FileError error;
    ASSERT_TRUE(doc.OnSaveDocument(path, &error)) << error.reason.toStdString();
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), path);

    CTeskDoc reopened;
    ASSERT_TRUE(reopened.OnOpenDocument(path, &error)) << error.reason.toStdString();
    EXPECT_FALSE(reopened.IsModified());
    EXPECT_EQ(reopened.GetTitle(), QStringLiteral("scene.qbx"));
    ASSERT_EQ(reopened.GetObjects().size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const C3dShape& a = *doc.GetObjects()[i]->m_pShape;
        const C3dShape& b = *reopened.GetObjects()[i]->m_pShape;
        EXPECT_STREQ(a.m_szName, b.m_szName);
        EXPECT_EQ(std::tie(a.m_nType, a.m_nX, a.m_nY, a.m_nZ, a.m_nColourMode, a.m_nColour),
                  std::tie(b.m_nType, b.m_nX, b.m_nY, b.m_nZ, b.m_nColourMode, b.m_nColour));
    }
}

TEST(DocumentFileTest, EmptySceneSavesAsCountZeroAndReopensEmpty)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("empty.qbx"));
    CTeskDoc doc;
    fw::FileError error;
    ASSERT_TRUE(doc.OnSaveDocument(path, &error));
    EXPECT_EQ(testutil::readBytes(path.toStdString()), std::string("\0\0", 2));
    CTeskDoc reopened;
    reopened.AddObject(SHAPE_SPHERE);
    ASSERT_TRUE(reopened.OnOpenDocument(path, &error));
    EXPECT_TRUE(reopened.GetObjects().empty());
}

TEST(DocumentFileTest, RefusedOpenLeavesTheDocumentAsItWas)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.qbx"));
    testutil::writeBytes(path.toStdString(), testutil::readBytes(testutil::dataPath("qbx-vectors/schema2-refused.qbx")));

    CTeskDoc doc;
    C3dObject* kept = doc.AddObject(SHAPE_CUBE);
    fw::FileError error;
    EXPECT_FALSE(doc.OnOpenDocument(path, &error));
    EXPECT_EQ(error.reason.toStdString(), "bad schema (2)");
    EXPECT_EQ(error.kind, fw::FileError::Kind::Damaged);
    EXPECT_EQ(error.damage, fw::ArchiveError::Cause::BadSchema);
    EXPECT_EQ(error.path, path);
    ASSERT_EQ(doc.GetObjects().size(), 1u);
    EXPECT_EQ(doc.GetObjects()[0].get(), kept);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(doc.GetPathName().isEmpty());

    EXPECT_FALSE(doc.OnOpenDocument(dir.filePath(QStringLiteral("missing.qbx")), &error));
    EXPECT_FALSE(error.reason.isEmpty());
    EXPECT_EQ(error.kind, fw::FileError::Kind::NoSuchFile);
    EXPECT_EQ(doc.GetObjects().size(), 1u);
}

TEST(DocumentFileTest, SaveIntoAMissingOrImpossibleFolderFailsAndKeepsTheDocumentModified)
{
    QTemporaryDir dir;
    const QString regularFile = dir.filePath(QStringLiteral("plain"));
    testutil::writeBytes(regularFile.toStdString(), "not a folder");
    // A missing folder is told apart; a file in the folder's place is the system's refusal.
    const std::pair<QString, fw::FileError::Kind> targets[] = {
        {dir.filePath(QStringLiteral("missing/scene.qbx")), fw::FileError::Kind::NoSuchFolder},
        {regularFile + QStringLiteral("/scene.qbx"), fw::FileError::Kind::NoSuchFolder},
        {dir.path(), fw::FileError::Kind::System},
    };
    for (const auto& [target, kind] : targets) {
        CTeskDoc doc;
        doc.AddObject(SHAPE_SPHERE);
        fw::FileError error;
        EXPECT_FALSE(doc.OnSaveDocument(target, &error)) << target.toStdString();
        EXPECT_FALSE(error.reason.isEmpty());
        EXPECT_EQ(error.kind, kind) << target.toStdString();
        EXPECT_TRUE(doc.IsModified());
        EXPECT_TRUE(doc.GetPathName().isEmpty());
    }
    EXPECT_EQ(testutil::readBytes(regularFile.toStdString()), "not a folder");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("plain")});
}

// A file size limit makes the write fail part way, as a full disk would
// (and unlike folder permissions, it binds root too).
TEST(DocumentFileTest, SaveThatRunsOutOfSpaceLeavesTheOldFileByteIdentical)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scene.qbx"));
    CTeskDoc doc;
    doc.AddObject(SHAPE_SPHERE);
    fw::FileError error;
    ASSERT_TRUE(doc.OnSaveDocument(path, &error));
    for (int i = 0; i < 200; ++i)
        doc.AddObject(SHAPE_STAR);
    const std::string before = testutil::readBytes(path.toStdString());

    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &original), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = original;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool savedOk = doc.OnSaveDocument(path, &error);
    setrlimit(RLIMIT_FSIZE, &original);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(savedOk);
    EXPECT_EQ(error.reason, QString::fromLocal8Bit(std::strerror(EFBIG)));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(testutil::readBytes(path.toStdString()), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("scene.qbx")})
        << "the temporary file stayed behind";
}

} // namespace
