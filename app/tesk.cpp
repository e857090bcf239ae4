#include "app/tesk.h"

#include "app/childfrm.h"
#include "app/commandline.h"
#include "app/mainfrm.h"
#include "app/resources.h"
#include "app/scenefiles.h"
#include "app/iconset.h"
#include "dialogs/aboutbox.h"
#include "document/teskdoc.h"
#include "framework/core/stdids.h"
#include "framework/gui/answeringdiskwork.h"
#include "framework/gui/messagebox.h"
#include "framework/gui/multidoctemplate.h"
#include "journal/docjournal.h"
#include "journal/orphanjournal.h"
#include "view/teskview.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <array>

namespace {

// The settings key: the organisation under which
// QSettings keeps the application's settings.
const QString kRegistryKey = QStringLiteral("Quorvane Productions");

QString appTitle() { return res::loadString(fw::AFX_IDS_APP_TITLE); }

} // namespace

CTeskApp::CTeskApp() = default;

CTeskApp::~CTeskApp()
{
    // Windows and views go before the documents that the template owns.
    if (m_pDocTemplate)
        m_pDocTemplate->CloseAllDocuments();
    // The scene files refer to the main frame and write through its
    // settings writer: they go first.
    m_pSceneFiles.reset();
    m_pMainFrame.reset();
    // The journals of the scenes closed are removed on a thread of their own.
    CDocJournal::WaitForDiskWork();
}

bool CTeskApp::InitInstance(const CommandLine& commandLine)
{
    // The common controls and the framework itself are initialised by the
    // QApplication that the caller has made.
    QCoreApplication::setOrganizationName(kRegistryKey);
    QCoreApplication::setApplicationName(appTitle());
    QCoreApplication::setApplicationVersion(QStringLiteral(TESK_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("tesk"));
    // Every window and message box, start-up errors included, shows it.
    QApplication::setWindowIcon(iconSet(res::appIconPath()));
    m_pDiskWork = std::make_unique<fw::AnsweringDiskWork>();

    auto docTemplate = std::make_unique<fw::MultiDocTemplate>(
        nullptr,
        [this] {
            auto doc = std::make_unique<CTeskDoc>();
            CDocJournal* journal = CDocJournal::Attach(*doc, COrphanJournal::Folder());
            QObject::connect(journal, &CDocJournal::failed, journal, [this, scene = doc.get()](const QString& reason) {
                showJournalFailure(scene->GetTitle(), reason);
            });
            return doc;
        },
        [] { return new CChildFrame; },
        [] { return new CTeskView; });
    m_pDocTemplate = docTemplate.get();
    AddDocTemplate(std::move(docTemplate));

    m_pMainFrame = std::make_unique<CMainFrame>();
    m_pMainFrame->SetAsMainWindow();
    m_pDocTemplate->SetMainFrame(m_pMainFrame.get());
    m_pSceneFiles = std::make_unique<CSceneFiles>(
        *m_pDocTemplate, *m_pMainFrame, commandLine.recoverAll,
        [this](const QString& proposed, bool open) { return DoPromptFileName(proposed, open); });

    if (commandLine.files.isEmpty())
        OnFileNew(fw::ID_FILE_NEW);
    else if (!m_pSceneFiles->OpenAtStart(commandLine.files))
        return false;

    // A long open showed the window for its progress, and the user closed
    // it meanwhile: the editor ends as if closed after its start.
    if (m_pMainFrame->testAttribute(Qt::WA_WState_ExplicitShowHide) && m_pMainFrame->isHidden()) {
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return true;
    }
    // A long open has shown the window already, to show its progress.
    if (!m_pMainFrame->isVisible())
        m_pMainFrame->RestoreWindowState();
    m_pMainFrame->show();
    m_pMainFrame->setAcceptDrops(true);
    m_pSceneFiles->OfferRecovery();
    QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, m_pMainFrame.get(),
                     [this](QSessionManager& manager) { commitData(manager); });
    return true;
}

bool CTeskApp::OnCmdMsg(int id, fw::CmdUI* ui)
{
    using namespace fw;
    static constexpr std::array<MessageMapEntry<CTeskApp>, 7> messageMap = {{
        {ID_APP_ABOUT, ID_APP_ABOUT, &CTeskApp::OnAppAbout, nullptr},
        {ID_FILE_NEW, ID_FILE_NEW, &CTeskApp::OnFileNew, nullptr},
        {ID_FILE_OPEN, ID_FILE_OPEN, &CTeskApp::OnFileOpen, nullptr},
        {ID_FILE_SAVE, ID_FILE_SAVE, &CTeskApp::OnFileSave, &CTeskApp::OnUpdateFileSave},
        {ID_FILE_SAVE_AS, ID_FILE_SAVE_AS, &CTeskApp::OnFileSaveAs, &CTeskApp::OnUpdateFileSave},
        {ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE16, &CTeskApp::OnOpenRecentFile, &CTeskApp::OnUpdateRecentFileMenu},
        {ID_APP_EXIT, ID_APP_EXIT, &CTeskApp::OnAppExit, nullptr},
    }};
    return dispatchMessageMap<CTeskApp>(this, messageMap, id, ui);
}

void CTeskApp::OnFileNew(int) { m_pDocTemplate->OpenDocumentFile(QString(), nullptr); }

void CTeskApp::OnFileOpen(int) { m_pSceneFiles->OpenAsked(); }

void CTeskApp::OnFileSave(int)
{
    if (fw::Document* doc = m_pMainFrame->GetActiveDocument())
        m_pSceneFiles->Save(doc);
}

void CTeskApp::OnFileSaveAs(int)
{
    if (fw::Document* doc = m_pMainFrame->GetActiveDocument())
        m_pSceneFiles->SaveAs(doc, QString());
}

void CTeskApp::OnUpdateFileSave(fw::CmdUI& ui) { ui.Enable(m_pMainFrame->GetActiveDocument() != nullptr); }

void CTeskApp::OnOpenRecentFile(int id) { m_pSceneFiles->OpenRecent(id - fw::ID_FILE_MRU_FILE1); }

void CTeskApp::OnUpdateRecentFileMenu(fw::CmdUI& ui)
{
    ui.Enable(ui.id - fw::ID_FILE_MRU_FILE1 < m_pSceneFiles->RecentFiles().GetSize());
}

void CTeskApp::OnAppExit(int) { m_pMainFrame->close(); }

void CTeskApp::OnAppAbout(int)
{
    CAboutBox aboutBox(m_pMainFrame.get());
    aboutBox.exec();
}

bool CTeskApp::SaveModified(fw::Document* doc) { return m_pSceneFiles->SaveModified(doc); }

fw::Document* CTeskApp::OpenDocumentFile(const QString& path) { return m_pSceneFiles->Open(path); }

QString CTeskApp::DoPromptFileName(const QString& proposed, bool open)
{
    return m_pSceneFiles->AskFileName(proposed, open);
}

void CTeskApp::showJournalFailure(const QString& name, const QString& reason) const
{
    // It comes amid a change of the scene: a box that waited here would run
    // the event loop inside that change, so it opens and returns.
    auto* box = new fw::MessageBox(QMessageBox::Warning, appTitle(),
                                   QStringLiteral("tesk can no longer keep a recovery copy of the changes to %1: %2. Save the scene to keep them.")
                                       .arg(name, reason),
                                   QMessageBox::Ok, m_pMainFrame.get());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void CTeskApp::commitData(QSessionManager& manager)
{
    // The desktop session is ending: the same prompts as on exit, and a
    // Cancel asks the session manager to stop the logout.
    if (!manager.allowsInteraction()) {
        // The changes nobody may be asked about stay in their journals.
        for (fw::Document* doc : m_pDocTemplate->documents()) {
            if (CDocJournal* journal = CDocJournal::Of(static_cast<CTeskDoc&>(*doc)))
                journal->Keep();
        }
        return;
    }
    const bool mayEnd = SaveAllModified();
    manager.release();
    if (!mayEnd)
        manager.cancel();
}

