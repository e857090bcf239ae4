// A save writes its file on another thread while the windows keep
// answering: input waits, a close asked for meanwhile waits for the save
// and then happens, and a write that fails there is reported as ever. The
// recovery journal is flushed before the write and removed after it in the
// same wait, and outlives a save that fails.

#include "app/commandline.h"
#include "app/mainfrm.h"
#include "app/scenefiles.h"
#include "app/tesk.h"
#include "document/teskdoc.h"
#include "framework/core/document.h"
#include "framework/core/stdids.h"
#include "framework/core/systemcalls.h"
#include "framework/gui/framewindow.h"
#include "framework/gui/multidoctemplate.h"
#include "journal/docjournal.h"
#include "journal/scenejournal.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <unistd.h>

namespace {

// Flushes off the GUI thread wait until the test opens the gate; those of
// files in `failingFolder` then fail with EIO, the journal's pass.
std::mutex gateMutex;
std::condition_variable gateOpened;
bool gateOpen = false;
QByteArray failingFolder;

int gatedFsync(int fd)
{
    if (QThread::currentThread() != qApp->thread()) {
        std::unique_lock lock(gateMutex);
        gateOpened.wait(lock, [] { return gateOpen; });
        char target[4096] = {};
        const ssize_t length = ::readlink(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(), target, sizeof target - 1);
        if (!failingFolder.isEmpty() && length > 0 && QByteArray(target, length).startsWith(failingFolder + '/')) {
            errno = EIO;
            return -1;
        }
    }
    return ::fsync(fd);
}

void openGate()
{
    const std::lock_guard lock(gateMutex);
    gateOpen = true;
    gateOpened.notify_all();
}

// Edit > Add Sphere, by its menu's access key.
void addSphereByKeys(QWidget* frame)
{
    QTest::keyClick(frame, Qt::Key_E, Qt::AltModifier);
    QTest::keyClick(QApplication::activePopupWidget() ? QApplication::activePopupWidget() : frame, Qt::Key_Return);
}

std::size_t objectsIn(const fw::Document& doc) { return static_cast<const CTeskDoc&>(doc).GetObjects().size(); }

enum class During { Nothing, KeyNewScene, KeyAddSphere, CloseSceneWindow, Exit };

} // namespace

Q_DECLARE_METATYPE(During)

class TestBackgroundSave : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
    }

    void saveInFlight_data()
    {
        QTest::addColumn<During>("during");
        QTest::addColumn<bool>("fails");
        QTest::addColumn<int>("scenesAfter");
        QTest::addColumn<bool>("mainWindowAfter");
        QTest::addColumn<bool>("journalled");
        QTest::newRow("key input is dropped") << During::KeyNewScene << false << 1 << true << false;
        QTest::newRow("edit keys are dropped") << During::KeyAddSphere << false << 1 << true << true;
        QTest::newRow("closing the scene window waits") << During::CloseSceneWindow << false << 0 << true << false;
        QTest::newRow("exit waits") << During::Exit << false << 0 << false << false;
        QTest::newRow("failed write is reported") << During::Nothing << true << 1 << true << false;
        QTest::newRow("journal flushed, then removed") << During::Nothing << false << 1 << true << true;
        QTest::newRow("journal outlives a failed write") << During::Nothing << true << 1 << true << true;
    }

    void saveInFlight()
    {
        QFETCH(During, during);
        QFETCH(bool, fails);
        QFETCH(int, scenesAfter);
        QFETCH(bool, mainWindowAfter);
        QFETCH(bool, journalled);

        CTeskApp app;
        QVERIFY(app.InitInstance(CommandLine{}));
        CMainFrame* frame = app.GetMainFrame();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        QCOMPARE(app.m_pDocTemplate->documents().size(), 1U);
        fw::Document* doc = app.m_pDocTemplate->documents().front();
        QString journalPath;
        if (journalled) {
            // A change of the scene itself starts its journal.
            static_cast<CTeskDoc*>(doc)->AddObject(SHAPE_STAR);
            CDocJournal::WaitForDiskWork();
            QCoreApplication::sendPostedEvents();
            QVERIFY(CDocJournal::Of(*static_cast<CTeskDoc*>(doc))->journal());
            journalPath = CDocJournal::Of(*static_cast<CTeskDoc*>(doc))->journal()->path();
            QVERIFY(QFileInfo(journalPath).size() > 0);
        } else {
            doc->SetModifiedFlag(true);
        }
        const QString path = m_dir.filePath(QStringLiteral("scene%1.qbx").arg(++m_round));
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));

        const fw::SystemCalls own = fw::systemCalls();
        fw::systemCalls().fsync = gatedFsync;
        gateOpen = false;
        failingFolder = fails ? QFile::encodeName(QFileInfo(m_dir.path()).canonicalFilePath()) : QByteArray();
        QString statusDuring;
        bool mainWindowDuring = false;
        bool sceneWindowDuring = false;
        std::size_t scenesDuring = 0;
        QTimer::singleShot(0, frame, [&] {
            statusDuring = frame->GetPaneText(0);
            switch (during) {
            case During::Nothing:
                break;
            case During::KeyNewScene:
                QTest::keyClick(frame, Qt::Key_N, Qt::ControlModifier);
                break;
            case During::KeyAddSphere:
                addSphereByKeys(frame);
                break;
            case During::CloseSceneWindow:
                app.m_pDocTemplate->framesOf(doc).front()->close();
                break;
            case During::Exit:
                app.OnAppExit(fw::ID_APP_EXIT);
                break;
            }
            mainWindowDuring = frame->isVisible();
            sceneWindowDuring = app.m_pDocTemplate->framesOf(doc).front()->isVisible();
            scenesDuring = app.m_pDocTemplate->documents().size();
            openGate();
        });
        QStringList reported;
        QTimer boxCloser;
        connect(&boxCloser, &QTimer::timeout, this, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                reported << box->text();
                box->accept();
            }
        });
        boxCloser.start(10);
        const bool saved = app.GetSceneFiles().SaveAs(doc, path);
        boxCloser.stop();
        fw::systemCalls() = own;

        QCOMPARE(statusDuring, QStringLiteral("Saving %1...").arg(QFileInfo(path).fileName()));
        QVERIFY(mainWindowDuring);
        QVERIFY(sceneWindowDuring);
        QCOMPARE(scenesDuring, 1U);
        QVERIFY(!frame->GetPaneText(0).startsWith(QStringLiteral("Saving")));
        QCOMPARE(saved, !fails);
        if (fails) {
            QCOMPARE(reported.size(), 1);
            QVERIFY2(reported.front().contains(QStringLiteral("cannot be saved: ")) && reported.front().contains(qt_error_string(EIO)),
                     qPrintable(reported.front()));
            QVERIFY(doc->IsModified());
            QCOMPARE(QFileInfo(path).size(), 0);
        } else {
            QVERIFY(reported.isEmpty());
            QVERIFY(QFileInfo(path).size() > 0);
        }
        if (journalled) {
            // Kept, whole, while the scene differs from its file.
            QCOMPARE(QFileInfo::exists(journalPath), fails);
            const CDocJournal* keeper = CDocJournal::Of(*static_cast<CTeskDoc*>(doc));
            QCOMPARE(keeper->journal() != nullptr, fails);
            if (fails)
                QVERIFY(!keeper->journal()->failed());
        }

        // What was held happens now; what was dropped does not.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(app.m_pDocTemplate->documents().size(), std::size_t(scenesAfter));
        QCOMPARE(frame->isVisible(), mainWindowAfter);
        if (during == During::KeyNewScene) {
            QTest::keyClick(frame, Qt::Key_N, Qt::ControlModifier);
            QCOMPARE(app.m_pDocTemplate->documents().size(), 2U);
        }
        if (during == During::KeyAddSphere) {
            // Neither the scene nor the file it was saved to changed.
            QCOMPARE(objectsIn(*doc), 1U);
            CTeskDoc onDisk;
            fw::FileError error;
            QVERIFY2(onDisk.OnOpenDocument(path, &error), qPrintable(error.reason));
            QCOMPARE(objectsIn(onDisk), 1U);
            addSphereByKeys(frame);
            QCOMPARE(objectsIn(*doc), 2U);
        }
    }

private:
    QTemporaryDir m_dir;
    int m_round = 0;
};

QTEST_MAIN(TestBackgroundSave)
#include "tst_backgroundsave.moc"
