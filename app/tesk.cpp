#include "app/tesk.h"

#include "app/childfrm.h"
#include "app/commandline.h"
#include "app/display.h"
#include "app/filefailure.h"
#include "app/mainfrm.h"
#include "app/resources.h"
#include "app/svgicon.h"
#include "dialogs/aboutbox.h"
#include "dialogs/recoverydialog.h"
#include "document/teskdoc.h"
#include "framework/core/stdids.h"
#include "framework/gui/framewindow.h"
#include "framework/gui/messagebox.h"
#include "framework/gui/multidoctemplate.h"
#include "journal/docjournal.h"
#include "journal/orphanjournal.h"
#include "view/teskview.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QAbstractButton>
#include <QSessionManager>
#include <QSettings>
#include <array>
#include <cstdio>
#include <vector>

namespace {

// The settings key: the organisation under which
// QSettings keeps the application's settings.
const QString kRegistryKey = QStringLiteral("Quorvane Productions");
constexpr int kRecentFileCount = 4;
// The folder where the last file dialog was accepted.
const QString kLastFolderKey = QStringLiteral("Settings/LastFolder");

QString appTitle() { return res::loadString(fw::AFX_IDS_APP_TITLE); }

QString displayName(const QString& path) { return QDir::toNativeSeparators(path); }

// Adds the scene extension to a file name typed without one.
QString withDefaultExtension(const QString& path)
{
    if (!QFileInfo(path).suffix().isEmpty())
        return path;
    return path + res::docString(res::DocString::FilterExt);
}

bool sameFile(const QString& a, const QString& b)
{
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

// The same file, or the same path where the file is gone (deleted by another
// program since a scene was opened from it).
bool sameFileOrPath(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    return sameFile(a, b) || QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

// A file the user may not write, or that nobody is meant to write: no write
// permission at all, which the superuser (who may write anything) is shown
// too, as editors do.
bool isReadOnly(const QFileInfo& file)
{
    constexpr QFile::Permissions anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return file.exists() && (!file.isWritable() || !(file.permissions() & anyWrite));
}

// The title that a frame shows, without the modified mark's placeholder.
QString frameTitle(const QWidget* frame) { return QString(frame->windowTitle()).remove(QStringLiteral("[*]")); }

} // namespace

CTeskApp::CTeskApp()
    : m_recentFiles(kRecentFileCount)
{
}

CTeskApp::~CTeskApp()
{
    // Windows and views go before the documents that the template owns.
    if (m_pDocTemplate)
        m_pDocTemplate->CloseAllDocuments();
    m_pMainFrame.reset();
}

bool CTeskApp::InitInstance(const QStringList& arguments)
{
    // The common controls and the framework itself are initialised by the
    // QApplication that the caller has made.
    QCoreApplication::setOrganizationName(kRegistryKey);
    QCoreApplication::setApplicationName(appTitle());
    QCoreApplication::setApplicationVersion(QStringLiteral(TESK_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("tesk"));
    // Every window and message box, start-up errors included, shows it.
    QApplication::setWindowIcon(svgIcon(res::appIconPath()));
    m_recentFiles.ReadList();

    auto docTemplate = std::make_unique<fw::MultiDocTemplate>(
        nullptr,
        [this] {
            auto doc = std::make_unique<CTeskDoc>();
            CDocJournal* journal = CDocJournal::Attach(*doc, RecoveryFolder());
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
    m_pMainWnd = m_pMainFrame.get();
    m_pDocTemplate->SetMainFrame(m_pMainFrame.get());
    updateRecentFileMenu();

    if (!processShellCommand(arguments))
        return false;

    m_pMainFrame->RestoreWindowState();
    m_pMainFrame->show();
    m_pMainFrame->setAcceptDrops(true);
    OfferRecovery();
#if QT_CONFIG(sessionmanager)
    QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, m_pMainFrame.get(),
                     [this](QSessionManager& manager) { commitData(manager); });
#endif
    return true;
}

bool CTeskApp::processShellCommand(const QStringList& arguments)
{
    const CommandLine commandLine = parseCommandLine(arguments);
    m_recoverAll = commandLine.recoverAll;
    const QStringList& files = commandLine.files;
    if (files.isEmpty()) {
        OnFileNew(fw::ID_FILE_NEW);
        return true;
    }
    for (const QString& file : files) {
        QString error;
        if (openFile(file, &error))
            continue;
        // Before the main window shows, stderr is the one sure channel; a
        // message box would wait forever where nobody can dismiss it.
        std::fprintf(stderr, "tesk: cannot open \"%s\": %s\n", qUtf8Printable(displayName(file)), qUtf8Printable(error));
        if (isInteractive())
            showFailure(openFailure(file, error), nullptr);
        return false;
    }
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

void CTeskApp::OnFileOpen(int)
{
    const QString path = DoPromptFileName(QString(), true);
    if (path.isEmpty())
        return;
    // A recovered scene is bound to the file: the open then shows it.
    OfferRecovery(path);
    OpenDocumentFile(path);
}

void CTeskApp::OnFileSave(int)
{
    if (fw::Document* doc = m_pMainFrame->GetActiveDocument())
        DoFileSave(doc);
}

void CTeskApp::OnFileSaveAs(int)
{
    if (fw::Document* doc = m_pMainFrame->GetActiveDocument())
        DoSave(doc, QString());
}

void CTeskApp::OnUpdateFileSave(fw::CmdUI& ui) { ui.Enable(m_pMainFrame->GetActiveDocument() != nullptr); }

void CTeskApp::OnOpenRecentFile(int id)
{
    const int index = id - fw::ID_FILE_MRU_FILE1;
    if (index >= m_recentFiles.GetSize())
        return;
    if (OpenDocumentFile(m_recentFiles.files().at(index)))
        return;
    // A file that can no longer be opened leaves the list.
    m_recentFiles.Remove(index);
    m_recentFiles.WriteList();
    updateRecentFileMenu();
}

void CTeskApp::OnUpdateRecentFileMenu(fw::CmdUI& ui) { ui.Enable(ui.id - fw::ID_FILE_MRU_FILE1 < m_recentFiles.GetSize()); }

void CTeskApp::OnAppExit(int) { m_pMainFrame->close(); }

void CTeskApp::OnAppAbout(int)
{
    CAboutBox aboutBox(m_pMainFrame.get());
    aboutBox.exec();
}

fw::Document* CTeskApp::openFile(const QString& path, QString* error)
{
    for (fw::Document* doc : m_pDocTemplate->documents()) {
        if (!sameFile(doc->GetPathName(), path))
            continue;
        const std::vector<fw::FrameWindow*> frames = m_pDocTemplate->framesOf(doc);
        if (!frames.empty())
            m_pMainFrame->ActivateFrame(frames.front());
        addToRecentFileList(doc->GetPathName());
        return doc;
    }
    fw::Document* doc = m_pDocTemplate->OpenDocumentFile(path, error);
    if (doc)
        addToRecentFileList(path);
    return doc;
}

fw::Document* CTeskApp::OpenDocumentFile(const QString& path)
{
    QString error;
    fw::Document* doc = openFile(path, &error);
    if (!doc)
        showFailure(openFailure(path, error), m_pMainFrame.get());
    return doc;
}

QStringList CTeskApp::OpenHandedOverFiles(const QStringList& files)
{
    QStringList failures;
    std::vector<FileFailure> shown;
    if (files.isEmpty())
        OnFileNew(fw::ID_FILE_NEW);
    for (const QString& file : files) {
        QString error;
        if (openFile(file, &error))
            continue;
        failures.append(QStringLiteral("cannot open \"%1\": %2").arg(displayName(file), error));
        shown.push_back(openFailure(file, error));
    }
    m_pMainFrame->setWindowState(m_pMainFrame->windowState() & ~Qt::WindowMinimized);
    m_pMainFrame->show();
    m_pMainFrame->raise();
    m_pMainFrame->activateWindow();
    // The user who asked may see no terminal: tell them here as well, above
    // the main window, without holding up the answer.
    for (const FileFailure& failure : shown) {
        auto* box =
            new fw::MessageBox(QMessageBox::Warning, appTitle(), failure.text, QMessageBox::Ok, m_pMainFrame.get());
        box->setDetailedText(failure.detail);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
    return failures;
}

bool CTeskApp::DoFileSave(fw::Document* doc)
{
    const QFileInfo file(doc->GetPathName());
    // A scene without a file, or whose file is read-only, is saved under a
    // new name; for a read-only file the user is told why first.
    if (doc->GetPathName().isEmpty())
        return DoSave(doc, QString());
    if (isReadOnly(file)) {
        showError(QStringLiteral("%1 is read-only; save it under another name.").arg(file.fileName()));
        return DoSave(doc, QString());
    }
    return DoSave(doc, doc->GetPathName());
}

bool CTeskApp::DoSave(fw::Document* doc, const QString& path)
{
    QString target = path;
    if (target.isEmpty()) {
        const QString proposed = doc->GetPathName().isEmpty() ? withDefaultExtension(doc->GetTitle()) : doc->GetPathName();
        target = DoPromptFileName(proposed, false);
        if (target.isEmpty())
            return false;
        target = withDefaultExtension(target);
    }
    // Two windows must never carry one file: the other one's next save would
    // overwrite this one's without a word.
    for (fw::Document* other : m_pDocTemplate->documents()) {
        const std::vector<fw::FrameWindow*> frames = m_pDocTemplate->framesOf(other);
        // A scene without windows is on its way out.
        if (other == doc || frames.empty() || !sameFileOrPath(other->GetPathName(), target))
            continue;
        const QString window = frameTitle(frames.front());
        showError(QStringLiteral("Cannot save \"%1\":\nthe file is open in the window \"%2\". Close that window "
                                 "first, or save under another name.")
                      .arg(displayName(target), window));
        return false;
    }
    if (!confirmOverwriteChanged(doc, target))
        return false;
    QString error;
    if (!doc->OnSaveDocument(target, &error)) {
        showFailure(saveFailure(target, error), m_pMainFrame.get());
        return false;
    }
    addToRecentFileList(target);
    return true;
}

bool CTeskApp::confirmOverwriteChanged(const fw::Document* doc, const QString& target) const
{
    const fw::FileStamp& stamp = doc->GetFileStamp();
    if (!stamp.isValid() || !sameFileOrPath(target, doc->GetPathName())
        || fw::CompareFileStamp(target, stamp) == fw::FileChange::Unchanged)
        return true;
    fw::MessageBox box(QMessageBox::Warning, appTitle(),
                       QStringLiteral("%1 has changed on disk since it was opened. Overwrite it?")
                           .arg(QFileInfo(target).fileName()),
                       QMessageBox::Yes | QMessageBox::Cancel, m_pMainFrame.get());
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Overwrite"));
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Yes;
}

QString CTeskApp::DoPromptFileName(const QString& proposed, bool open)
{
    const QString filter = res::docString(res::DocString::FilterName) + QStringLiteral(";;All Files (*)");
    QFileDialog dialog(m_pMainFrame.get(), open ? QStringLiteral("Open") : QStringLiteral("Save As"), fileDialogFolder(),
                       filter);
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!open)
        dialog.setDefaultSuffix(res::docString(res::DocString::FilterExt).mid(1));
    if (!proposed.isEmpty())
        dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    QSettings().setValue(kLastFolderKey, QFileInfo(chosen).absolutePath());
    return chosen;
}

QString CTeskApp::fileDialogFolder() const
{
    if (const fw::Document* doc = m_pMainFrame->GetActiveDocument(); doc && !doc->GetPathName().isEmpty())
        return QFileInfo(doc->GetPathName()).absolutePath();
    const QString last = QSettings().value(kLastFolderKey).toString();
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    return QDir::homePath();
}

bool CTeskApp::SaveModified(fw::Document* doc)
{
    if (!doc->IsModified())
        return true;
    const QString name = doc->GetPathName().isEmpty() ? doc->GetTitle() : displayName(doc->GetPathName());
    fw::MessageBox box(QMessageBox::Warning, appTitle(), QStringLiteral("Save changes to %1?").arg(name),
                       QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, m_pMainFrame.get());
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        return DoFileSave(doc);
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

QString CTeskApp::RecoveryFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // XDG_STATE_HOME counts only when it is an absolute path.
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/tesk/recovery");
}

void CTeskApp::OfferRecovery(const QString& file)
{
    std::vector<std::unique_ptr<COrphanJournal>> orphans = COrphanJournal::FindAll(RecoveryFolder());
    if (!file.isEmpty()) {
        std::erase_if(orphans, [&file](const std::unique_ptr<COrphanJournal>& orphan) {
            return !orphan->BuildsOn(file);
        });
    }
    if (orphans.empty())
        return;

    CRecoveryDialog::Choice choice = CRecoveryDialog::Recover;
    if (!m_recoverAll) {
        // At a start where nobody can answer, the journals wait for a start
        // that can ask; a File > Open was asked for by someone.
        if (file.isEmpty() && !isInteractive())
            return;
        std::vector<CRecoveryDialog::Entry> entries;
        for (const auto& orphan : orphans)
            entries.push_back({orphan->sceneName(), orphan->lastChange(), orphan->changeCount()});
        CRecoveryDialog dialog(entries, m_pMainFrame.get());
        dialog.exec();
        choice = dialog.choice();
    }
    if (choice == CRecoveryDialog::Later)
        return;

    QStringList notes;
    for (const auto& orphan : orphans) {
        if (choice == CRecoveryDialog::Discard) {
            orphan->Discard();
            continue;
        }
        RecoveredScene scene = orphan->Recover();
        if (const QString note = DescribeRecovery(scene, orphan->sceneName()); !note.isEmpty())
            notes << note;
        if (!scene.recovered)
            continue;
        auto* doc = dynamic_cast<CTeskDoc*>(m_pDocTemplate->OpenDocumentFile(QString(), nullptr));
        if (doc)
            orphan->ContinueIn(*doc, scene);
    }
    if (notes.isEmpty())
        return;
    const QString text = notes.join(QStringLiteral("\n\n"));
    if (m_recoverAll)
        std::fprintf(stderr, "tesk: %s\n", qUtf8Printable(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '))));
    else
        fw::MessageBox::Warn(m_pMainFrame.get(), QStringLiteral("Recover Unsaved Changes"), text);
}

void CTeskApp::addToRecentFileList(const QString& path)
{
    m_recentFiles.Add(path);
    m_recentFiles.WriteList();
    updateRecentFileMenu();
}

void CTeskApp::updateRecentFileMenu()
{
    QStringList captions;
    for (int i = 0; i < m_recentFiles.GetSize(); ++i)
        captions.append(m_recentFiles.MenuText(i));
    m_pMainFrame->SetRecentFileCaptions(captions);
}

void CTeskApp::showError(const QString& text) const { fw::MessageBox::Warn(m_pMainFrame.get(), appTitle(), text); }

void CTeskApp::showFailure(const FileFailure& failure, QWidget* parent)
{
    fw::MessageBox box(QMessageBox::Warning, appTitle(), failure.text, QMessageBox::Ok, parent);
    box.setDetailedText(failure.detail);
    box.exec();
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

#if QT_CONFIG(sessionmanager)
void CTeskApp::commitData(QSessionManager& manager)
{
    // The desktop session is ending: the same prompts as on exit, and a
    // Cancel asks the session manager to stop the logout.
    if (!manager.allowsInteraction()) {
        // The changes nobody may be asked about stay in their journals.
        for (fw::Document* doc : m_pDocTemplate->documents()) {
            if (auto* scene = dynamic_cast<CTeskDoc*>(doc)) {
                if (CDocJournal* journal = CDocJournal::Of(*scene))
                    journal->Keep();
            }
        }
        return;
    }
    const bool mayEnd = SaveAllModified();
    manager.release();
    if (!mayEnd)
        manager.cancel();
}
#endif

