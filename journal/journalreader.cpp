#include "journal/journalreader.h"

#include "framework/core/archive.h"
#include "framework/core/filereader.h"
#include "model/c3dobject.h"

#include <QFileInfo>
#include <algorithm>
#include <cstdint>
#include <string_view>
#include <system_error>

namespace {

// Which of the slots of every object a recovery has held are live, in a
// Fenwick tree of counts: finds the slot of the k-th live object and removes
// one in O(log n), where erasing from the list would move the rest.
class LiveSlots {
public:
    LiveSlots(std::size_t initial, std::size_t capacity)
        : m_tree(capacity + 1, 0)
    {
        for (std::size_t i = 1; i <= capacity; ++i) {
            m_tree[i] += i <= initial ? 1 : 0;
            if (const std::size_t parent = i + (i & (~i + 1)); parent <= capacity)
                m_tree[parent] += m_tree[i];
        }
        while (m_step * 2 <= capacity)
            m_step *= 2;
    }
    void add(std::size_t slot, int delta)
    {
        for (std::size_t i = slot + 1; i < m_tree.size(); i += i & (~i + 1))
            m_tree[i] += delta;
    }
    // The slot of the live object at `position` (0-based), which must exist.
    std::size_t find(std::size_t position) const
    {
        std::size_t slot = 0;
        std::int64_t rest = static_cast<std::int64_t>(position) + 1;
        for (std::size_t step = m_step; step > 0; step /= 2) {
            if (slot + step < m_tree.size() && m_tree[slot + step] < rest) {
                slot += step;
                rest -= m_tree[slot];
            }
        }
        return slot;
    }

private:
    std::vector<std::int32_t> m_tree;
    std::size_t m_step = 1;
};

std::unique_ptr<C3dObject> readObject(std::span<const char> bytes)
{
    fw::Archive ar = fw::Archive::forLoading(bytes);
    std::unique_ptr<fw::Object> object = ar.ReadObject(&C3dObject::classInfo);
    if (ar.Remaining() != 0)
        throw fw::ArchiveError(fw::ArchiveError::Cause::BadClass, "bytes after the object");
    return std::unique_ptr<C3dObject>(static_cast<C3dObject*>(object.release()));
}

// Loads the start of the scene into `scene`; false with the reason in
// `scene.damage` when there is none to build on.
bool loadStart(const JournalContents& contents, const QString& basePath, RecoveredScene& scene)
{
    if (contents.base.hasFile) {
        const QFileInfo info(basePath);
        // Only a regular file of the recorded size is read: a device or a
        // pipe named there could give bytes without end.
        if (!info.exists()) {
            scene.base = JournalBase::Missing;
        } else if (!info.isFile() || info.size() != contents.base.stamp.size) {
            scene.base = JournalBase::Changed;
        } else {
            // The base streams through the loader as an open does; the bytes
            // after its last record are read too, for the hash of the whole
            // file. Objects loaded from a file that turns out changed are
            // dropped before any change is applied to them.
            fw::FileReader file;
            bool loaded = false;
            try {
                if (file.Open(basePath, nullptr)) {
                    if (!contents.hasSnapshot) {
                        fw::Archive ar = fw::Archive::forLoading(file);
                        ar.LoadList(scene.objects);
                        loaded = true;
                    }
                    char rest[64 * 1024];
                    while (file.Read(rest, sizeof rest) > 0) {
                    }
                }
            } catch (const fw::ArchiveError& e) {
                scene.base = JournalBase::Changed;
                scene.damage = QStringLiteral("the file cannot be read (%1)").arg(QString::fromUtf8(e.what()));
                return false;
            } catch (const std::system_error&) {
                loaded = false;
            }
            const fw::FileStamp read = file.Stamp();
            const bool same = read.isValid() && read.size == contents.base.stamp.size && read.hash == contents.base.stamp.hash;
            scene.base = same ? JournalBase::Unchanged : JournalBase::Changed;
            if (same && loaded)
                return true;
            scene.objects.clear();
        }
    }
    if (contents.hasSnapshot) {
        try {
            fw::Archive ar = fw::Archive::forLoading(contents.snapshot);
            ar.LoadList(scene.objects);
        } catch (const fw::ArchiveError& e) {
            scene.damage = QStringLiteral("its copy of the scene is damaged (%1)").arg(QString::fromUtf8(e.what()));
            return false;
        }
        return true;
    }
    return !contents.base.hasFile;
}

} // namespace

bool ReadJournal(std::span<const char> data, JournalContents& contents, QString* error)
{
    contents = JournalContents();
    const auto refuse = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    const std::string_view magic(data.data(), std::min(data.size(), journal::kMagic.size()));
    if (data.size() < journal::kHeaderSize || magic != journal::kMagic)
        return refuse(QStringLiteral("not a recovery journal"));
    if (qFromLittleEndian<std::uint32_t>(data.data() + journal::kMagic.size()) != journal::kVersion)
        return refuse(QStringLiteral("a recovery journal of another version"));
    std::uint64_t offset = journal::kHeaderSize;
    journal::Record record;
    QString damage;
    if (!journal::ReadRecord(data, offset, record, damage) || record.kind != journal::Kind::Base
        || !journal::DecodeBase(record.payload, contents.base))
        return refuse(QStringLiteral("the journal's first record is damaged"));
    contents.startEnd = offset;
    while (offset < data.size()) {
        const std::uint64_t start = offset;
        if (!journal::ReadRecord(data, offset, record, contents.damage))
            break;
        const std::span<const char> p = record.payload;
        if (record.kind == journal::Kind::Snapshot && start == contents.startEnd && !contents.hasSnapshot) {
            contents.hasSnapshot = true;
            contents.snapshot = p;
            contents.startEnd = offset;
            continue;
        }
        const bool isObject = record.kind == journal::Kind::Add || record.kind == journal::Kind::Change;
        const bool fits = isObject ? p.size() > 4 : (record.kind == journal::Kind::Remove && p.size() == 4);
        if (!fits) {
            offset = start;
            contents.damage = QStringLiteral("damaged at byte %1").arg(start);
            break;
        }
        contents.changes.push_back({record.kind, qFromLittleEndian<std::uint32_t>(p.data()), isObject ? p.subspan(4) : std::span<const char>(), offset});
    }
    contents.validLength = offset;
    return true;
}

RecoveredScene RecoverScene(const JournalContents& contents, const QString& basePath)
{
    const std::size_t count = contents.changes.size();
    RecoveredScene scene;
    if (!loadStart(contents, basePath, scene)) {
        scene.objects.clear();
        scene.lost = count;
        return scene;
    }
    scene.recovered = true;
    scene.validLength = contents.startEnd;

    // The slot of `held` that each change acts on (its target), found from
    // the positions alone before any object moves. Adds take the slots after
    // the base's, in order; removals leave theirs empty.
    std::size_t added = 0;
    for (const JournalContents::Change& change : contents.changes)
        added += change.kind == journal::Kind::Add ? 1 : 0;
    std::vector<std::unique_ptr<C3dObject>> held = std::move(scene.objects);
    std::size_t size = held.size();
    std::size_t nextAdded = size;
    LiveSlots live(size, size + added);
    std::vector<std::size_t> targets;
    targets.reserve(count);
    for (const JournalContents::Change& change : contents.changes) {
        const std::size_t position = change.position;
        if (change.kind == journal::Kind::Add ? position != size : position >= size)
            break;
        if (change.kind == journal::Kind::Add) {
            targets.push_back(nextAdded);
            live.add(nextAdded++, 1);
            ++size;
        } else {
            targets.push_back(live.find(position));
            if (change.kind == journal::Kind::Remove) {
                live.add(targets.back(), -1);
                --size;
            }
        }
    }

    std::size_t applied = targets.size();
    if (applied < count)
        scene.damage = QStringLiteral("change %1 does not fit the scene").arg(applied + 1);
    held.resize(nextAdded);
    for (std::size_t i = 0; i < applied; ++i) {
        if (contents.changes[i].kind == journal::Kind::Remove) {
            held[targets[i]].reset();
            continue;
        }
        try {
            held[targets[i]] = readObject(contents.changes[i].object);
        } catch (const fw::ArchiveError& e) {
            scene.damage = QStringLiteral("change %1 is damaged (%2)").arg(i + 1).arg(QString::fromUtf8(e.what()));
            applied = i;
        }
    }
    scene.applied = applied;
    if (applied > 0)
        scene.validLength = contents.changes[applied - 1].end;
    scene.lost = count - applied;
    if (scene.damage.isEmpty())
        scene.damage = contents.damage;

    // In place: the removed objects' slots and those of adds not applied close up.
    std::erase(held, nullptr);
    scene.objects = std::move(held);
    return scene;
}

QString DescribeRecovery(const RecoveredScene& scene, const QString& name)
{
    QStringList parts;
    if (scene.base == JournalBase::Changed || scene.base == JournalBase::Missing) {
        const QString what = scene.base == JournalBase::Missing ? QStringLiteral("no longer exists")
                                                                : QStringLiteral("has changed since it was edited");
        parts << (scene.recovered ? QStringLiteral("The file %1 %2; the journal holds the whole scene, so the scene was recovered without it.")
                                  : QStringLiteral("The file %1 %2, and the changes cannot be applied to anything else: nothing was recovered."))
                     .arg(name, what);
    } else if (!scene.recovered) {
        parts << QStringLiteral("Nothing of %1 could be recovered: %2.").arg(name, scene.damage);
    }
    if (scene.recovered && !scene.damage.isEmpty()) {
        const QString applied = scene.applied == 1 ? QStringLiteral("1 change was") : QStringLiteral("%1 changes were").arg(scene.applied);
        parts << QStringLiteral("The journal of %1 is damaged (%2): %3 recovered, the rest is lost.").arg(name, scene.damage, applied);
    }
    return parts.join(QLatin1Char(' '));
}
