#pragma once

#include <QFile>
#include <QStringList>
#include <QXmlStreamReader>

// One line per bookmark of a desktop-bookmark file, in file order:
// "HREF added=… modified=… MIME [GROUP…] APP=COUNT…". Empty when the file
// is missing or does not parse.
inline QStringList xbelSummary(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader in(&file);
    QStringList lines;
    const QString bookmarkNs = QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks");
    const QString mimeNs = QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info");
    while (!in.atEnd()) {
        if (in.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = in.attributes();
        if (in.name() == u"bookmark" && in.namespaceUri().isEmpty())
            lines << QStringLiteral("%1 added=%2 modified=%3")
                         .arg(attributes.value(QLatin1String("href")), attributes.value(QLatin1String("added")), attributes.value(QLatin1String("modified")));
        else if (lines.isEmpty())
            continue;
        else if (in.name() == u"mime-type" && in.namespaceUri() == mimeNs)
            lines.last() += QStringLiteral(" ") + attributes.value(QLatin1String("type")).toString();
        else if (in.name() == u"group" && in.namespaceUri() == bookmarkNs)
            lines.last() += QStringLiteral(" ") + in.readElementText();
        else if (in.name() == u"application" && in.namespaceUri() == bookmarkNs)
            lines.last() += QStringLiteral(" %1=%2").arg(attributes.value(QLatin1String("name")), attributes.value(QLatin1String("count")));
    }
    return in.hasError() ? QStringList() : lines;
}
