#include "app/desktoprecent.h"

#include "framework/core/filereader.h"
#include "framework/core/filewriter.h"
#include "framework/core/posix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr QStringView kBookmarkNs = u"http://www.freedesktop.org/standards/desktop-bookmarks";
constexpr QStringView kMimeNs = u"http://www.freedesktop.org/standards/shared-mime-info";
constexpr QStringView kApplication = u"tesk";
// Quoted as a shell word, as GLib stores an application's command.
constexpr QStringView kExec = u"'tesk %u'";
constexpr QStringView kMimeType = u"application/x-tesk-scene";
// How often a file that another writer keeps changing is read again.
constexpr int kAttempts = 5;

// What the file's bookmark of the scene said before: kept in the new one.
struct Previous {
    QString added;
    int count = 0;
    // The other applications' records of the same file, attributes as read.
    std::vector<QXmlStreamAttributes> others;
};

bool sameFile(QStringView href, const QString& scene)
{
    const QUrl url(href.toString());
    return url.isLocalFile() && QDir::cleanPath(url.toLocalFile()) == QDir::cleanPath(scene);
}

// Reads the rest of a bookmark of the scene, its start element just read.
void readPrevious(QXmlStreamReader& in, Previous& previous)
{
    previous.added = in.attributes().value(QStringLiteral("added")).toString();
    for (int depth = 1; depth > 0 && !in.atEnd();) {
        const QXmlStreamReader::TokenType token = in.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
        } else if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (in.namespaceUri() != kBookmarkNs || in.name() != u"application")
                continue;
            const QXmlStreamAttributes attributes = in.attributes();
            if (attributes.value(QStringLiteral("name")) == kApplication)
                previous.count = attributes.value(QStringLiteral("count")).toInt();
            else
                previous.others.push_back(attributes);
        }
    }
}

void writeBookmark(QXmlStreamWriter& out, const QString& scene, const QString& now, const Previous& previous)
{
    out.writeStartElement(QStringLiteral("bookmark"));
    out.writeAttribute(QStringLiteral("href"), QString::fromUtf8(QUrl::fromLocalFile(scene).toEncoded()));
    out.writeAttribute(QStringLiteral("added"), previous.added.isEmpty() ? now : previous.added);
    out.writeAttribute(QStringLiteral("modified"), now);
    out.writeAttribute(QStringLiteral("visited"), now);
    out.writeStartElement(QStringLiteral("info"));
    out.writeStartElement(QStringLiteral("metadata"));
    out.writeAttribute(QStringLiteral("owner"), QStringLiteral("http://freedesktop.org"));
    out.writeEmptyElement(kMimeNs.toString(), QStringLiteral("mime-type"));
    out.writeAttribute(QStringLiteral("type"), kMimeType.toString());
    out.writeStartElement(kBookmarkNs.toString(), QStringLiteral("applications"));
    for (const QXmlStreamAttributes& other : previous.others) {
        out.writeEmptyElement(kBookmarkNs.toString(), QStringLiteral("application"));
        out.writeAttributes(other);
    }
    out.writeEmptyElement(kBookmarkNs.toString(), QStringLiteral("application"));
    out.writeAttribute(QStringLiteral("name"), kApplication.toString());
    out.writeAttribute(QStringLiteral("exec"), kExec.toString());
    out.writeAttribute(QStringLiteral("modified"), now);
    out.writeAttribute(QStringLiteral("count"), QString::number(previous.count + 1));
    out.writeEndElement(); // applications
    out.writeEndElement(); // metadata
    out.writeEndElement(); // info
    out.writeEndElement(); // bookmark
}

// The file `bytes` (empty for none) with the scene's bookmark added or
// updated; every other bookmark and element is copied. Empty, with the
// reason in `error`, when `bytes` is not an XBEL file.
QByteArray merged(const QByteArray& bytes, const QString& scene, const QDateTime& when, QString* error)
{
    QByteArray result;
    QXmlStreamWriter out(&result);
    out.setAutoFormatting(true);
    out.setAutoFormattingIndent(2);
    out.writeStartDocument();
    out.writeStartElement(QStringLiteral("xbel"));
    out.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    out.writeNamespace(kBookmarkNs.toString(), QStringLiteral("bookmark"));
    out.writeNamespace(kMimeNs.toString(), QStringLiteral("mime"));

    Previous previous;
    if (!bytes.isEmpty()) {
        QXmlStreamReader in(bytes);
        if (!in.readNextStartElement() || !in.namespaceUri().isEmpty() || in.name() != u"xbel") {
            *error = in.hasError() ? QStringLiteral("line %1: %2").arg(in.lineNumber()).arg(in.errorString())
                                   : QStringLiteral("not an XBEL file");
            return {};
        }
        for (const QXmlStreamNamespaceDeclaration& declaration : in.namespaceDeclarations()) {
            if (declaration.namespaceUri() != kBookmarkNs && declaration.namespaceUri() != kMimeNs)
                out.writeNamespace(declaration.namespaceUri().toString(), declaration.prefix().toString());
        }
        for (const QXmlStreamAttribute& attribute : in.attributes()) {
            if (attribute.qualifiedName() != u"version")
                out.writeAttribute(attribute);
        }
        for (int depth = 1; !in.atEnd();) {
            const QXmlStreamReader::TokenType token = in.readNext();
            if (token == QXmlStreamReader::StartElement) {
                if (depth == 1 && in.name() == u"bookmark" && in.namespaceUri().isEmpty() &&
                    sameFile(in.attributes().value(QStringLiteral("href")), scene)) {
                    readPrevious(in, previous);
                    continue;
                }
                ++depth;
            } else if (token == QXmlStreamReader::EndElement) {
                // The root's end: the scene's bookmark is written last.
                if (--depth == 0)
                    break;
            } else if (token == QXmlStreamReader::Characters && in.isWhitespace()) {
                continue;
            } else if (token == QXmlStreamReader::EndDocument || token == QXmlStreamReader::Invalid) {
                continue;
            }
            out.writeCurrentToken(in);
        }
        // What follows the root must parse as well: the file is taken whole
        // or left alone.
        while (!in.atEnd())
            in.readNext();
        if (in.hasError()) {
            *error = QStringLiteral("line %1: %2").arg(in.lineNumber()).arg(in.errorString());
            return {};
        }
    }
    writeBookmark(out, scene, when.toUTC().toString(Qt::ISODateWithMs), previous);
    out.writeEndElement(); // xbel
    out.writeEndDocument();
    return result;
}

// What tells one version of the file from another: another writer renames
// a new file into place, or rewrites this one.
struct Identity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t changedNs = 0;

    friend bool operator==(const Identity&, const Identity&) = default;
};

bool identify(const QString& path, Identity* identity, QString* error)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        if (errno == ENOENT) {
            *identity = Identity{};
            return true;
        }
        *error = fw::errnoText(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        *error = QStringLiteral("not a regular file");
        return false;
    }
    *identity = Identity{true, status.st_dev, status.st_ino, status.st_size,
                         std::int64_t(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec};
    return true;
}

} // namespace

CDesktopRecent::CDesktopRecent()
    : m_path(Path())
{
    m_pool.setMaxThreadCount(1);
}

void CDesktopRecent::Add(const QString& scene)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    m_pool.start([path = m_path, scene, now] {
        QString error;
        if (!Record(path, scene, now, &error))
            std::fprintf(stderr, "tesk: cannot add \"%s\" to the desktop's recent files in %s: %s\n",
                         qUtf8Printable(scene), qUtf8Printable(path), qUtf8Printable(error));
    });
}

QString CDesktopRecent::Path()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/recently-used.xbel");
}

bool CDesktopRecent::Record(const QString& xbel, const QString& scene, const QDateTime& when, QString* error)
{
    const QFileInfo info(xbel);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("cannot make the folder %1").arg(info.absolutePath());
        return false;
    }
    // Other tesk processes wait for this one; any other writer is caught by
    // the identity check before the rename.
    QLockFile lock(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".tesk-lock"));
    if (!lock.tryLock(10000)) {
        *error = QStringLiteral("the lock beside it is held by another tesk");
        return false;
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        Identity before;
        if (!identify(xbel, &before, error))
            return false;
        QByteArray bytes;
        if (before.exists && !fw::ReadWholeFile(xbel, bytes, error))
            return false;
        const QByteArray result = merged(bytes, scene, when, error);
        if (result.isEmpty())
            return false;
        Identity after;
        if (!identify(xbel, &after, error))
            return false;
        if (after != before)
            continue;
        fw::FileStamp stamp;
        return fw::WriteFileKeepingItsKind(xbel, std::string_view(result.constData(), result.size()), &stamp, error);
    }
    *error = QStringLiteral("another program kept changing it");
    return false;
}
