#include "app/recentfilelist.h"

#include "app/settingswriter.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const QString kSection = QStringLiteral("Recent File List");

QString entryKey(int index) { return QStringLiteral("File%1").arg(index + 1); }

} // namespace

void CRecentFileList::ReadList()
{
    m_files.clear();
    QSettings settings;
    settings.beginGroup(kSection);
    for (int i = 0; i < kMaxSize; ++i) {
        const QString path = settings.value(entryKey(i)).toString();
        if (!path.isEmpty() && !m_files.contains(path))
            m_files.append(path);
    }
}

void CRecentFileList::WriteList(CSettingsWriter& writer) const
{
    writer.Write([files = m_files](QSettings& settings) {
        settings.remove(kSection);
        settings.beginGroup(kSection);
        for (int i = 0; i < files.size(); ++i)
            settings.setValue(entryKey(i), files.at(i));
    });
}

void CRecentFileList::Add(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_files.removeAll(absolute);
    m_files.prepend(absolute);
    while (GetSize() > kMaxSize)
        m_files.removeLast();
}

void CRecentFileList::Remove(int index)
{
    if (index >= 0 && index < GetSize())
        m_files.removeAt(index);
}

QString CRecentFileList::MenuText(int index) const
{
    QString path = m_files.at(index);
    path.replace(QLatin1Char('&'), QLatin1String("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(path);
}
