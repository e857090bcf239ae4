#include "journal/journalformat.h"

#include "framework/core/archive.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace journal {
namespace {

// The check of a record, from the bytes of its kind and payload. One shot:
// a streaming state per record would cost more than the hash.
std::uint32_t recordCheck(const char* kindAndPayload, std::size_t size)
{
    return static_cast<std::uint32_t>(XXH3_64bits(kindAndPayload, size));
}

constexpr std::uint8_t kBaseHasFile = 1;
constexpr std::uint8_t kBaseCompacted = 2;

} // namespace

std::string Header()
{
    std::string header(kMagic);
    fw::AppendLittleEndian(header, kVersion);
    return header;
}

void AppendRecord(std::string& out, Kind kind, std::string_view payload)
{
    const std::size_t start = out.size();
    fw::AppendLittleEndian(out, static_cast<std::uint32_t>(payload.size() + 1));
    out.push_back(static_cast<char>(kind));
    out += payload;
    fw::AppendLittleEndian(out, recordCheck(out.data() + start + 4, payload.size() + 1));
}

bool ReadRecord(std::span<const char> data, std::uint64_t& offset, Record& record, QString& damage)
{
    const std::uint64_t left = data.size() - offset;
    if (left < kRecordOverhead) {
        damage = QStringLiteral("cut short at byte %1").arg(offset);
        return false;
    }
    const std::uint64_t length = qFromLittleEndian<std::uint32_t>(data.data() + offset);
    if (length == 0 || length > left - kRecordOverhead + 1) {
        damage = QStringLiteral("cut short or damaged at byte %1").arg(offset);
        return false;
    }
    const char* start = data.data() + offset + 4;
    record.kind = static_cast<Kind>(static_cast<std::uint8_t>(start[0]));
    record.payload = std::span<const char>(start + 1, static_cast<std::size_t>(length - 1));
    if (qFromLittleEndian<std::uint32_t>(start + length) != recordCheck(start, static_cast<std::size_t>(length))) {
        damage = QStringLiteral("damaged at byte %1").arg(offset);
        return false;
    }
    offset += length + 8;
    return true;
}

std::string EncodeBase(const Base& base)
{
    std::string payload;
    payload.push_back(static_cast<char>((base.hasFile ? kBaseHasFile : 0) | (base.compacted ? kBaseCompacted : 0)));
    const QByteArray path = base.path.toUtf8();
    fw::AppendLittleEndian(payload, static_cast<std::uint32_t>(path.size()));
    payload.append(path.constData(), static_cast<std::size_t>(path.size()));
    fw::AppendLittleEndian(payload, static_cast<std::uint64_t>(base.stamp.size));
    fw::AppendLittleEndian(payload, static_cast<std::uint64_t>(base.stamp.mtimeNs));
    fw::AppendLittleEndian(payload, base.stamp.hash);
    return payload;
}

bool DecodeBase(std::span<const char> payload, Base& base)
{
    if (payload.size() < 5)
        return false;
    const auto flags = static_cast<std::uint8_t>(payload[0]);
    const std::uint64_t pathLength = qFromLittleEndian<std::uint32_t>(payload.data() + 1);
    if (payload.size() != 5 + pathLength + 24)
        return false;
    base.hasFile = (flags & kBaseHasFile) != 0;
    base.compacted = (flags & kBaseCompacted) != 0;
    base.path = QString::fromUtf8(payload.data() + 5, static_cast<qsizetype>(pathLength));
    const char* stamp = payload.data() + 5 + pathLength;
    base.stamp.size = static_cast<std::int64_t>(qFromLittleEndian<std::uint64_t>(stamp));
    base.stamp.mtimeNs = static_cast<std::int64_t>(qFromLittleEndian<std::uint64_t>(stamp + 8));
    base.stamp.hash = qFromLittleEndian<std::uint64_t>(stamp + 16);
    return !base.hasFile || base.stamp.isValid();
}

void PutPosition(std::string& payload, std::size_t position) { fw::AppendLittleEndian(payload, static_cast<std::uint32_t>(position)); }

} // namespace journal
