#include "app/scenefiles.h"

#include "app/display.h"
#include "app/mainfrm.h"
#include "app/resources.h"
#include "app/settingswriter.h"
#include "dialogs/recoverydialog.h"
#include "document/teskdoc.h"
#include "framework/core/fileerror.h"
#include "framework/core/stdids.h"
#include "framework/gui/framewindow.h"
#include "framework/gui/messagebox.h"
#include "framework/gui/multidoctemplate.h"
#include "journal/orphanjournal.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>
#include <QStatusBar>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using Cause = fw::ArchiveError::Cause;
using Kind = fw::FileError::Kind;

// The folder where the last file dialog was accepted.
const QString kLastFolderKey = QStringLiteral("Settings/LastFolder");

QString appTitle() { return res::loadString(fw::AFX_IDS_APP_TITLE); }

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

// What the user reads when a scene cannot be opened or saved: `text` says
// in plain words what happened, naming the file by its name alone;
// `detail` keeps the full path and the exact technical reason (a message
// box shows it on request, scripts get it on stderr).
struct FileFailure {
    QString text;
    QString detail;
};

// What each refusal of the loader means to someone who did not write it.
QLatin1String plainCause(Cause cause)
{
    switch (cause) {
    case Cause::EndOfFile: return QLatin1String("it ends too early");
    case Cause::BadClass: return QLatin1String("it holds a kind of data that tesk does not know");
    case Cause::BadIndex: return QLatin1String("it refers to data that is not there");
    case Cause::BadSchema: return QLatin1String("it was written in a form that this version of tesk cannot read");
    case Cause::NullObject: return QLatin1String("its list of objects has an empty entry");
    case Cause::DuplicateObject: return QLatin1String("its list of objects names one object twice");
    case Cause::WrongClass: return QLatin1String("its list of objects holds something that is not an object");
    case Cause::OutOfMemory: break;
    }
    return QLatin1String("it does not fit in memory");
}

QString quotedName(const QString& path)
{
    return QStringLiteral("\u201C%1\u201D").arg(QFileInfo(path).fileName());
}

QString detailOf(const fw::FileError& error)
{
    return QStringLiteral("%1: %2").arg(QFileInfo(error.path).absoluteFilePath(), error.reason);
}

FileFailure openFailure(const fw::FileError& error)
{
    const QString name = quotedName(error.path);
    QString text;
    switch (error.kind) {
    case Kind::Damaged:
        text = QStringLiteral("%1 is not a tesk scene, or it is damaged: %2.").arg(name, plainCause(error.damage));
        break;
    case Kind::NoSuchFile:
        text = QStringLiteral("%1 cannot be opened: there is no such file.").arg(name);
        break;
    case Kind::OutOfMemory:
        text = QStringLiteral("%1 cannot be opened: there is not enough memory for a scene this large.").arg(name);
        break;
    case Kind::NotAFile:
        text = QStringLiteral("%1 cannot be opened: it is not a file but a folder, a pipe or a device.").arg(name);
        break;
    case Kind::System:
    case Kind::NoSuchFolder:
        text = QStringLiteral("%1 cannot be opened: %2.").arg(name, error.reason);
        break;
    }
    return {text, detailOf(error)};
}

FileFailure saveFailure(const fw::FileError& error)
{
    const QString folder = QFileInfo(error.path).absolutePath();
    const QString cause = error.kind == Kind::NoSuchFolder
        ? QStringLiteral("the folder \u201C%1\u201D does not exist").arg(folder)
        : error.reason;
    return {QStringLiteral("%1 cannot be saved: %2. The scene stays open with its changes.").arg(quotedName(error.path), cause),
            detailOf(error)};
}

// Shows `failure` above `parent`, the detail on request: waits for the
// answer when `wait`, otherwise opens and returns.
void showFailure(const FileFailure& failure, QWidget* parent, bool wait)
{
    auto box = std::make_unique<fw::MessageBox>(QMessageBox::Warning, appTitle(), failure.text, QMessageBox::Ok, parent);
    box->setDetailedText(failure.detail);
    if (wait) {
        box->exec();
        return;
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    box.release()->open();
}

} // namespace

CSceneFiles::CSceneFiles(fw::MultiDocTemplate& docTemplate, CMainFrame& mainFrame, bool recoverAll, Prompt prompt)
    : m_docTemplate(docTemplate)
    , m_mainFrame(mainFrame)
    , m_recoverAll(recoverAll)
    , m_prompt(std::move(prompt))
    , m_settingsWriter(mainFrame.GetSettingsWriter())
    , m_lastFolder(QSettings().value(kLastFolderKey).toString())
    , m_opener(mainFrame.GetOpenProgress(), mainFrame, [&mainFrame] {
        mainFrame.RestoreWindowState();
        mainFrame.show();
    })
{
    m_recentFiles.ReadList();
    updateRecentFileMenu();
}

bool CSceneFiles::OpenAtStart(const QStringList& files)
{
    for (const QString& file : files) {
        const Opened opened = open(file);
        if (opened.doc || opened.cancelled)
            continue;
        // Before the main window shows, stderr is the one sure channel; a
        // message box would wait forever where nobody can dismiss it.
        std::fprintf(stderr, "tesk: cannot open \"%s\": %s\n", qUtf8Printable(file),
                     qUtf8Printable(opened.error.reason));
        if (isInteractive())
            showFailure(openFailure(opened.error), nullptr, true);
        return false;
    }
    return true;
}

CSceneFiles::Opened CSceneFiles::open(const QString& path)
{
    Opened opened;
    for (fw::Document* doc : m_docTemplate.documents()) {
        if (!sameFile(doc->GetPathName(), path))
            continue;
        const std::vector<fw::FrameWindow*> frames = m_docTemplate.framesOf(doc);
        if (!frames.empty())
            m_mainFrame.ActivateFrame(frames.front());
        addToRecentFileList(doc->GetPathName());
        opened.doc = doc;
        return opened;
    }
    SceneLoad load = m_opener.Load(path);
    if (load.file.cancelled) {
        opened.cancelled = true;
        return opened;
    }
    opened.doc = m_docTemplate.OpenDocument([&](fw::Document& doc) {
        return static_cast<CTeskDoc&>(doc).AdoptScene(path, std::move(load), &opened.error);
    });
    if (opened.doc)
        addToRecentFileList(path);
    return opened;
}

fw::Document* CSceneFiles::Open(const QString& path)
{
    const Opened opened = open(path);
    if (!opened.doc && !opened.cancelled)
        showFailure(openFailure(opened.error), &m_mainFrame, true);
    return opened.doc;
}

void CSceneFiles::OpenAsked()
{
    const QString path = m_prompt(QString(), true);
    if (path.isEmpty())
        return;
    // A recovered scene is bound to the file: the open then shows it.
    OfferRecovery(path);
    Open(path);
}

void CSceneFiles::OpenRecent(int index)
{
    if (index >= m_recentFiles.GetSize())
        return;
    const QString path = m_recentFiles.files().at(index);
    const Opened opened = open(path);
    if (opened.doc || opened.cancelled)
        return;
    showFailure(openFailure(opened.error), &m_mainFrame, true);
    // The list may have changed while the file was read.
    index = static_cast<int>(m_recentFiles.files().indexOf(path));
    if (index < 0)
        return;
    m_recentFiles.Remove(index);
    m_recentFiles.WriteList(m_settingsWriter);
    updateRecentFileMenu();
}

QStringList CSceneFiles::OpenHandedOver(const QStringList& files)
{
    QStringList failures;
    std::vector<FileFailure> shown;
    if (files.isEmpty())
        m_docTemplate.OpenDocumentFile(QString(), nullptr);
    for (const QString& file : files) {
        // A file that is being opened gets its window when its load ends.
        if (m_opener.IsLoading(file))
            continue;
        const Opened opened = open(file);
        if (opened.doc || opened.cancelled)
            continue;
        failures.append(QStringLiteral("cannot open \"%1\": %2").arg(file, opened.error.reason));
        shown.push_back(openFailure(opened.error));
    }
    m_mainFrame.setWindowState(m_mainFrame.windowState() & ~Qt::WindowMinimized);
    m_mainFrame.show();
    m_mainFrame.raise();
    m_mainFrame.activateWindow();
    // The user who asked may see no terminal: tell them here as well, above
    // the main window, without holding up the answer.
    for (const FileFailure& failure : shown)
        showFailure(failure, &m_mainFrame, false);
    return failures;
}

bool CSceneFiles::Save(fw::Document* doc)
{
    const QFileInfo file(doc->GetPathName());
    if (doc->GetPathName().isEmpty())
        return SaveAs(doc, QString());
    if (isReadOnly(file)) {
        showError(QStringLiteral("%1 is read-only; save it under another name.").arg(file.fileName()));
        return SaveAs(doc, QString());
    }
    return SaveAs(doc, doc->GetPathName());
}

bool CSceneFiles::SaveAs(fw::Document* doc, const QString& path)
{
    QString target = path;
    if (target.isEmpty()) {
        const QString proposed = doc->GetPathName().isEmpty() ? withDefaultExtension(doc->GetTitle()) : doc->GetPathName();
        target = m_prompt(proposed, false);
        if (target.isEmpty())
            return false;
        target = withDefaultExtension(target);
    }
    // Two windows must never carry one file: the other one's next save would
    // overwrite this one's without a word.
    for (fw::Document* other : m_docTemplate.documents()) {
        const std::vector<fw::FrameWindow*> frames = m_docTemplate.framesOf(other);
        // A scene without windows is on its way out.
        if (other == doc || frames.empty() || !sameFileOrPath(other->GetPathName(), target))
            continue;
        const QString window = frameTitle(frames.front());
        showError(QStringLiteral("Cannot save \"%1\":\nthe file is open in the window \"%2\". Close that window "
                                 "first, or save under another name.")
                      .arg(target, window));
        return false;
    }
    if (!confirmOverwriteChanged(doc, target))
        return false;
    fw::FileError error;
    // The windows keep answering while the file is written; this says why
    // they take no input.
    m_mainFrame.statusBar()->showMessage(QStringLiteral("Saving %1...").arg(QFileInfo(target).fileName()));
    const bool saved = doc->OnSaveDocument(target, &error);
    m_mainFrame.statusBar()->clearMessage();
    if (!saved) {
        showFailure(saveFailure(error), &m_mainFrame, true);
        return false;
    }
    addToRecentFileList(target);
    return true;
}

bool CSceneFiles::confirmOverwriteChanged(const fw::Document* doc, const QString& target) const
{
    const fw::FileStamp& stamp = doc->GetFileStamp();
    if (!stamp.isValid() || !sameFileOrPath(target, doc->GetPathName())
        || fw::CompareFileStamp(target, stamp) == fw::FileChange::Unchanged)
        return true;
    fw::MessageBox box(QMessageBox::Warning, appTitle(),
                       QStringLiteral("%1 has changed on disk since it was opened. Overwrite it?")
                           .arg(QFileInfo(target).fileName()),
                       QMessageBox::Yes | QMessageBox::Cancel, &m_mainFrame);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Overwrite"));
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Yes;
}

bool CSceneFiles::SaveModified(fw::Document* doc)
{
    if (!doc->IsModified())
        return true;
    const QString name = doc->GetPathName().isEmpty() ? doc->GetTitle() : doc->GetPathName();
    fw::MessageBox box(QMessageBox::Warning, appTitle(), QStringLiteral("Save changes to %1?").arg(name),
                       QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, &m_mainFrame);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        return Save(doc);
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

QString CSceneFiles::AskFileName(const QString& proposed, bool open)
{
    QString folder = QDir::homePath();
    if (const fw::Document* doc = m_mainFrame.GetActiveDocument(); doc && !doc->GetPathName().isEmpty())
        folder = QFileInfo(doc->GetPathName()).absolutePath();
    else if (!m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir())
        folder = m_lastFolder;
    const QStringList filters = {res::docString(res::DocString::FilterName), QStringLiteral("All Files (*)")};
    if (!m_fileDialog) {
        m_fileDialog = new QFileDialog(&m_mainFrame);
        m_fileDialog->setNameFilters(filters);
    }
    // The dialog starts each time as a new one would.
    QFileDialog& dialog = *m_fileDialog;
    dialog.setWindowTitle(open ? QStringLiteral("Open") : QStringLiteral("Save As"));
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(open ? QString() : res::docString(res::DocString::FilterExt).mid(1));
    dialog.setDirectory(folder);
    dialog.selectNameFilter(filters.constFirst());
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (name)
        name->clear();
    if (!proposed.isEmpty())
        dialog.selectFile(proposed);
    const int answer = dialog.exec();
    // The list of completions that typing a name opened is a window of its
    // own, and it would outlive the kept dialog's closing.
    if (QCompleter* completer = name ? name->completer() : nullptr)
        completer->popup()->hide();
    if (answer != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    m_lastFolder = QFileInfo(chosen).absolutePath();
    m_settingsWriter.Write([folder = m_lastFolder](QSettings& settings) { settings.setValue(kLastFolderKey, folder); });
    return chosen;
}

void CSceneFiles::OfferRecovery(const QString& file)
{
    const std::vector<std::unique_ptr<COrphanJournal>> orphans = COrphanJournal::FindAll(COrphanJournal::Folder(), file);
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
        CRecoveryDialog dialog(entries, &m_mainFrame);
        dialog.exec();
        choice = dialog.choice();
    }
    if (choice == CRecoveryDialog::Later)
        return;
    if (choice == CRecoveryDialog::Discard) {
        for (const auto& orphan : orphans)
            orphan->Discard();
        return;
    }
    const QStringList notes = COrphanJournal::RecoverAll(
        orphans, [this] { return dynamic_cast<CTeskDoc*>(m_docTemplate.OpenDocumentFile(QString(), nullptr)); });
    if (notes.isEmpty())
        return;
    const QString text = notes.join(QStringLiteral("\n\n"));
    if (m_recoverAll)
        std::fprintf(stderr, "tesk: %s\n", qUtf8Printable(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '))));
    else
        fw::MessageBox::Warn(&m_mainFrame, QStringLiteral("Recover Unsaved Changes"), text);
}

void CSceneFiles::addToRecentFileList(const QString& path)
{
    // First: `path` may be an entry of the list, which Add changes.
    m_desktopRecent.Add(path);
    m_recentFiles.Add(path);
    m_recentFiles.WriteList(m_settingsWriter);
    updateRecentFileMenu();
}

void CSceneFiles::updateRecentFileMenu()
{
    QStringList captions;
    for (int i = 0; i < m_recentFiles.GetSize(); ++i)
        captions.append(m_recentFiles.MenuText(i));
    m_mainFrame.SetRecentFileCaptions(captions);
}

void CSceneFiles::showError(const QString& text) const { fw::MessageBox::Warn(&m_mainFrame, appTitle(), text); }

