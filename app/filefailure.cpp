#include "app/filefailure.h"

#include "framework/core/archive.h"

#include <QDir>
#include <QFileInfo>
#include <array>
#include <utility>

namespace {

using Cause = fw::ArchiveError::Cause;

// What each refusal of the loader means to someone who did not write it.
constexpr std::array<std::pair<Cause, const char*>, 7> kPlainCauses = {{
    {Cause::EndOfFile, "it ends too early"},
    {Cause::BadClass, "it holds a kind of data that tesk does not know"},
    {Cause::BadIndex, "it refers to data that is not there"},
    {Cause::BadSchema, "it was written in a form that this version of tesk cannot read"},
    {Cause::NullObject, "its list of objects has an empty entry"},
    {Cause::DuplicateObject, "its list of objects names one object twice"},
    {Cause::WrongClass, "its list of objects holds something that is not an object"},
}};

// The loader's reason starts with the text of its cause; any other reason
// (the system's, when the file could not be read at all) is not a refusal.
const char* plainCause(const QString& reason)
{
    for (const auto& [cause, plain] : kPlainCauses) {
        if (reason.startsWith(QLatin1String(fw::ArchiveError::causeText(cause))))
            return plain;
    }
    return nullptr;
}

QString quotedName(const QString& path)
{
    return QStringLiteral("\u201C%1\u201D").arg(QFileInfo(path).fileName());
}

QString detailOf(const QString& path, const QString& reason)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()), reason);
}

} // namespace

FileFailure openFailure(const QString& path, const QString& reason)
{
    const QString name = quotedName(path);
    QString text;
    if (const char* plain = plainCause(reason))
        text = QStringLiteral("%1 is not a tesk scene, or it is damaged: %2.").arg(name, QLatin1String(plain));
    else if (!QFileInfo::exists(path))
        text = QStringLiteral("%1 cannot be opened: there is no such file.").arg(name);
    else if (reason.startsWith(QLatin1String(fw::ArchiveError::causeText(Cause::OutOfMemory))))
        text = QStringLiteral("%1 cannot be opened: there is not enough memory for a scene this large.").arg(name);
    else if (!QFileInfo(path).isFile())
        text = QStringLiteral("%1 cannot be opened: it is not a file but a folder, a pipe or a device.").arg(name);
    else
        text = QStringLiteral("%1 cannot be opened: %2.").arg(name, reason);
    return {text, detailOf(path, reason)};
}

FileFailure saveFailure(const QString& path, const QString& reason)
{
    const QString folder = QFileInfo(path).absolutePath();
    QString cause;
    if (!QFileInfo(folder).isDir())
        cause = QStringLiteral("the folder \u201C%1\u201D does not exist").arg(QDir::toNativeSeparators(folder));
    else
        cause = reason;
    return {QStringLiteral("%1 cannot be saved: %2. The scene stays open with its changes.").arg(quotedName(path), cause),
            detailOf(path, reason)};
}
