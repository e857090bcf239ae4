#include "framework/core/document.h"

#include "framework/core/archive.h"
#include "framework/core/view.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

namespace fw {
namespace {

// The stamp of the file at `path` that holds exactly `data`.
FileStamp stampOf(const QString& path, const char* data, std::size_t size)
{
    FileHasher hasher;
    hasher.update(data, size);
    return StatFile(path, hasher.digest());
}

} // namespace

Document::Document()
    : m_title(QStringLiteral("Untitled"))
{
}

Document::~Document()
{
    for (View* view : m_views)
        view->m_pDocument = nullptr;
}

void Document::AddView(View* view)
{
    if (view->m_pDocument == this)
        return;
    if (view->m_pDocument)
        view->m_pDocument->RemoveView(view);
    m_views.push_back(view);
    view->m_pDocument = this;
}

void Document::RemoveView(View* view)
{
    const auto it = std::find(m_views.begin(), m_views.end(), view);
    if (it == m_views.end())
        return;
    m_views.erase(it);
    view->m_pDocument = nullptr;
}

void Document::UpdateAllViews(View* sender, int hint, Object* object)
{
    // A copy: a view may open or close windows while it handles the update.
    const std::vector<View*> views = m_views;
    for (View* view : views) {
        if (std::find(m_views.begin(), m_views.end(), view) != m_views.end())
            view->OnUpdate(sender, hint, object);
    }
}

void Document::SetModifiedFlag(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

void Document::SetPathName(const QString& path)
{
    m_pathName = path;
    SetTitle(path.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(path).fileName());
}

void Document::SetTitle(const QString& title)
{
    if (m_title == title)
        return;
    m_title = title;
    emit titleChanged(title);
}

bool Document::OnNewDocument()
{
    DeleteContents();
    SetModifiedFlag(false);
    m_pathName.clear();
    SetTitle(QStringLiteral("Untitled"));
    return true;
}

bool Document::OnOpenDocument(const QString& path, QString* error)
{
    QByteArray data;
    if (!ReadFile(path, data, error))
        return false;
    Archive ar = Archive::forLoading(std::span<const char>(data.constData(), static_cast<std::size_t>(data.size())));
    if (!LoadFrom(ar, error))
        return false;
    m_fileStamp = stampOf(path, data.constData(), static_cast<std::size_t>(data.size()));
    SetPathName(path);
    SetModifiedFlag(false);
    return true;
}

bool Document::ReadFile(const QString& path, QByteArray& data, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool Document::LoadFrom(Archive& ar, QString* error)
{
    try {
        Serialize(ar);
    } catch (const ArchiveError& e) {
        if (error)
            *error = QString::fromUtf8(e.what());
        return false;
    }
    return true;
}

bool Document::OnSaveDocument(const QString& path, QString* error)
{
    Archive ar = Archive::forStoring();
    Serialize(ar);
    const std::string& bytes = ar.bytes();

    // Unbuffered: QSaveFile::commit() replaces the target even when flushing
    // its own buffer fails (a full disk), so every byte must have reached
    // the temporary file through write() before commit() is called.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        // After a short write comes another: the call that fails sets the reason.
        const qint64 n = file.write(bytes.data() + written, static_cast<qint64>(bytes.size() - written));
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    if (written != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    m_fileStamp = stampOf(path, bytes.data(), bytes.size());
    SetPathName(path);
    SetModifiedFlag(false);
    return true;
}

} // namespace fw
