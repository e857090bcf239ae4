#include "framework/core/document.h"

#include "framework/core/archive.h"
#include "framework/core/diskwork.h"
#include "framework/core/filereader.h"
#include "framework/core/filewriter.h"
#include "framework/core/view.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

namespace fw {
namespace {

// Runs a load, turning what a load may throw into its failure.
bool catchLoadErrors(const std::function<void()>& load, FileError& error)
{
    try {
        load();
    } catch (const ArchiveError& e) {
        const bool memory = e.cause() == ArchiveError::Cause::OutOfMemory;
        error.kind = memory ? FileError::Kind::OutOfMemory : FileError::Kind::Damaged;
        error.damage = e.cause();
        error.reason = QString::fromUtf8(e.what());
        return false;
    } catch (const std::bad_alloc&) {
        error.kind = FileError::Kind::OutOfMemory;
        error.reason = QString::fromUtf8(ArchiveError::causeText(ArchiveError::Cause::OutOfMemory));
        return false;
    } catch (const std::system_error& e) {
        error.kind = FileError::Kind::System;
        error.reason = QString::fromLocal8Bit(std::strerror(e.code().value()));
        return false;
    }
    return true;
}

// The kind of a file that could not be opened for reading.
FileError::Kind unopenedKind(const QString& path)
{
    const QFileInfo file(path);
    if (!file.exists())
        return FileError::Kind::NoSuchFile;
    return file.isFile() ? FileError::Kind::System : FileError::Kind::NotAFile;
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
    m_fileStamp = {};
    SetPathName(QString());
    return true;
}

FileLoad Document::LoadFile(const QString& path, const std::function<void(Archive&)>& load, ReadWatch* watch)
{
    FileLoad result;
    result.error.path = path;
    FileReader file;
    if (!file.Open(path, &result.error.reason)) {
        result.error.kind = unopenedKind(path);
        return result;
    }
    file.Watch(watch);
    Archive ar = Archive::forLoading(file);
    try {
        result.ok = catchLoadErrors([&] { load(ar); }, result.error);
    } catch (const ReadCancelled&) {
        result.cancelled = true;
        result.error.reason = QStringLiteral("cancelled");
    }
    if (result.ok)
        result.stamp = file.Stamp();
    return result;
}

bool Document::AdoptFile(const QString& path, const FileLoad& load, FileError* error)
{
    if (!load.ok) {
        if (error)
            *error = load.error;
        return false;
    }
    SetPathName(path);
    SetModifiedFlag(false);
    m_fileStamp = load.stamp;
    return true;
}

bool Document::LoadFrom(Archive& ar, QString* error)
{
    FileError failure;
    const bool ok = catchLoadErrors([&] { Serialize(ar); }, failure);
    if (!ok && error)
        *error = failure.reason;
    return ok;
}

bool Document::OnSaveDocument(const QString& path, FileError* error)
{
    FileStamp stamp;
    FileError failure{FileError::Kind::System, {}, path, {}};
    emit aboutToWrite();
    bool written = false;
    // Turning the document into bytes only reads it, and nothing changes it
    // while its disk work runs, so the bytes are made there too.
    RunDiskWork([&] {
        Archive ar = Archive::forStoring();
        Serialize(ar);
        written = WriteFileKeepingItsKind(path, ar.bytes(), &stamp, &failure.reason);
    });
    if (!written) {
        if (!QFileInfo(QFileInfo(path).absolutePath()).isDir())
            failure.kind = FileError::Kind::NoSuchFolder;
        if (error)
            *error = failure;
        return false;
    }
    SetPathName(path);
    m_fileStamp = stamp;
    SetModifiedFlag(false);
    return true;
}

} // namespace fw
