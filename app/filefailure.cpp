#include "app/filefailure.h"

#include "framework/core/fileerror.h"

#include <QDir>
#include <QFileInfo>

namespace {

using Cause = fw::ArchiveError::Cause;
using Kind = fw::FileError::Kind;

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
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(QFileInfo(error.path).absoluteFilePath()), error.reason);
}

} // namespace

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
        ? QStringLiteral("the folder \u201C%1\u201D does not exist").arg(QDir::toNativeSeparators(folder))
        : error.reason;
    return {QStringLiteral("%1 cannot be saved: %2. The scene stays open with its changes.").arg(quotedName(error.path), cause),
            detailOf(error)};
}
