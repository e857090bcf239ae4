// The recovery offer at File > Open of a file that has an orphaned journal,
// answered in the real dialog, and the message of a journal that cannot
// be kept.

#include "app/commandline.h"
#include "app/mainfrm.h"
#include "app/tesk.h"
#include "document/commands.h"
#include "dialogs/recoverydialog.h"
#include "document/teskdoc.h"
#include "framework/core/archive.h"
#include "framework/core/stdids.h"
#include "framework/gui/multidoctemplate.h"
#include "journal/docjournal.h"
#include "journal/orphanjournal.h"
#include "tests/randomedits.h"

#include <QApplication>
#include <QAction>
#include <QDir>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// The application with the Open dialog answering `next`.
class OpenApp : public CTeskApp {
public:
    QString next;

protected:
    QString DoPromptFileName(const QString&, bool) override { return next; }
};

QByteArray saved(CTeskDoc& doc)
{
    fw::Archive ar = fw::Archive::forStoring();
    doc.Serialize(ar);
    return QByteArray::fromStdString(ar.bytes());
}

// Clicks `caption` in the recovery dialog once it is up.
void answerRecovery(const QString& caption, int turns = 50)
{
    QTimer::singleShot(0, qApp, [caption, turns] {
        auto* dialog = qobject_cast<CRecoveryDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (turns > 0)
                answerRecovery(caption, turns - 1);
            return;
        }
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            if (button->text() == caption)
                button->click();
        }
    });
}

// Triggers the menu command `id` of the main window.
void runMenuCommand(CMainFrame* frame, int id)
{
    for (QAction* top : frame->menuBar()->actions()) {
        for (QAction* action : top->menu()->actions()) {
            if (!action->isSeparator() && action->data().toInt() == id)
                return action->trigger();
        }
    }
    QFAIL("no such command");
}

// The texts of the message boxes shown over `frame`, each closed with its
// one button, which must read "&OK".
QStringList closeShownBoxes(CMainFrame* frame)
{
    // A journal's failure comes back from the thread that makes its file.
    CDocJournal::WaitForDiskWork();
    QCoreApplication::sendPostedEvents();
    QStringList texts;
    for (QMessageBox* box : frame->findChildren<QMessageBox*>()) {
        if (!box->isVisible())
            continue;
        texts << box->text();
        const QList<QAbstractButton*> buttons = box->buttons();
        if (buttons.size() == 1 && buttons[0]->text() == QStringLiteral("&OK"))
            buttons[0]->click();
        else
            texts << QStringLiteral("(buttons other than one &OK)");
    }
    return texts;
}

} // namespace

class TestRecovery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
    }

    void openOffersTheFilesJournal_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("recovered");
        QTest::addColumn<bool>("journalKept");
        QTest::newRow("Recover") << "&Recover" << true << false;
        QTest::newRow("Discard") << "&Discard" << false << false;
        QTest::newRow("Later") << "&Later" << false << true;
    }

    void openOffersTheFilesJournal()
    {
        QFETCH(QString, answer);
        QFETCH(bool, recovered);
        QFETCH(bool, journalKept);
        QTemporaryDir state;
        qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
        const QString path = m_dir.filePath(QStringLiteral("scene.qbx"));

        QByteArray onDisk;
        QByteArray edited;
        {
            CTeskDoc doc;
            std::mt19937 rng(5);
            for (int i = 0; i < 3; ++i)
                doc.AddObject(SHAPE_CUBE);
            fw::FileError error;
            QVERIFY(doc.OnSaveDocument(path, &error));
            onDisk = saved(doc);
            CDocJournal::Attach(doc, COrphanJournal::Folder());
            for (int i = 0; i < 12; ++i)
                testutil::RandomEdit(doc, rng);
            edited = saved(doc);
            CDocJournal::Of(doc)->Keep();
        }
        QCOMPARE(COrphanJournal::FindAll(COrphanJournal::Folder()).size(), std::size_t(1));

        OpenApp app;
        QVERIFY(app.InitInstance(CommandLine{}));
        app.next = path;
        answerRecovery(answer);
        app.OnFileOpen(fw::ID_FILE_OPEN);

        std::vector<CTeskDoc*> ofFile;
        for (fw::Document* doc : app.m_pDocTemplate->documents()) {
            if (doc->GetPathName() == path)
                ofFile.push_back(static_cast<CTeskDoc*>(doc));
        }
        QCOMPARE(ofFile.size(), std::size_t(1));
        QCOMPARE(ofFile[0]->IsModified(), recovered);
        QCOMPARE(saved(*ofFile[0]), recovered ? edited : onDisk);
        // A recovered scene's journal lives on, held by this editor.
        const bool journalOnDisk = !QDir(COrphanJournal::Folder()).entryList(QDir::Files).isEmpty();
        QCOMPARE(journalOnDisk, journalKept || recovered);
        QCOMPARE(COrphanJournal::FindAll(COrphanJournal::Folder()).size(), std::size_t(journalKept ? 1 : 0));
        app.CloseAllDocuments();
    }

    // A recovery folder that cannot be made: the first change of a scene
    // says so once, later ones do not, and after a save it is said again.
    void aJournalThatCannotBeKeptIsToldOnce()
    {
        QTemporaryDir state;
        QFile blocker(state.filePath(QStringLiteral("tesk")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
        const QString told =
            QStringLiteral("tesk can no longer keep a recovery copy of the changes to %1: Not a directory. Save the scene to keep them.");

        OpenApp app;
        QVERIFY(app.InitInstance(CommandLine{}));
        CMainFrame* frame = app.GetMainFrame();
        fw::Document* doc = frame->GetActiveDocument();
        QVERIFY(doc);
        QCOMPARE(closeShownBoxes(frame), QStringList());
        runMenuCommand(frame, ID_ADD_CUBE);
        runMenuCommand(frame, ID_ADD_SPHERE);
        QCOMPARE(closeShownBoxes(frame), QStringList{told.arg(QStringLiteral("Untitled"))});
        runMenuCommand(frame, ID_ADD_STAR);
        QCOMPARE(closeShownBoxes(frame), QStringList());

        app.next = m_dir.filePath(QStringLiteral("told.qbx"));
        app.OnFileSave(fw::ID_FILE_SAVE);
        QVERIFY(!doc->IsModified());
        QCOMPARE(static_cast<CTeskDoc*>(doc)->GetObjects().size(), std::size_t(3));
        runMenuCommand(frame, ID_ADD_CUBE);
        runMenuCommand(frame, ID_ADD_CUBE);
        QCOMPARE(closeShownBoxes(frame), QStringList{told.arg(QStringLiteral("told.qbx"))});
        app.CloseAllDocuments();
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
