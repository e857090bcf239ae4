#include "journal/journalformat.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace journal {
namespace {

void putU64(std::string& out, std::uint64_t value)
{
    PutU32(out, static_cast<std::uint32_t>(value));
    PutU32(out, static_cast<std::uint32_t>(value >> 32));
}

std::uint64_t getU64(const char* bytes) { return GetU32(bytes) | (std::uint64_t(GetU32(bytes + 4)) << 32); }

// The check of a record, from the bytes of its kind and payload. One shot:
// a streaming state per record would cost more than the hash.
std::uint32_t recordCheck(const char* kindAndPayload, std::size_t size)
{
    return static_cast<std::uint32_t>(XXH3_64bits(kindAndPayload, size));
}

constexpr std::uint8_t kBaseHasFile = 1;
constexpr std::uint8_t kBaseCompacted = 2;

} // namespace

void PutU32(std::string& out, std::uint32_t value)
{
    const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 24)};
    out.append(bytes, 4);
}

std::uint32_t GetU32(const char* bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) | (std::uint32_t(b[3]) << 24);
}

std::string Header()
{
    std::string header(kMagic);
    PutU32(header, kVersion);
    return header;
}

void AppendRecord(std::string& out, Kind kind, std::string_view payload)
{
    const std::size_t start = out.size();
    PutU32(out, static_cast<std::uint32_t>(payload.size() + 1));
    out.push_back(static_cast<char>(kind));
    out += payload;
    PutU32(out, recordCheck(out.data() + start + 4, payload.size() + 1));
}

bool ReadRecord(std::span<const char> data, std::uint64_t& offset, Record& record, QString& damage)
{
    const std::uint64_t left = data.size() - offset;
    if (left < kRecordOverhead) {
        damage = QStringLiteral("cut short at byte %1").arg(offset);
        return false;
    }
    const std::uint64_t length = GetU32(data.data() + offset);
    if (length == 0 || length > left - kRecordOverhead + 1) {
        damage = QStringLiteral("cut short or damaged at byte %1").arg(offset);
        return false;
    }
    const char* start = data.data() + offset + 4;
    record.kind = static_cast<Kind>(static_cast<std::uint8_t>(start[0]));
    record.payload = std::span<const char>(start + 1, static_cast<std::size_t>(length - 1));
    if (GetU32(start + length) != recordCheck(start, static_cast<std::size_t>(length))) {
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
    PutU32(payload, static_cast<std::uint32_t>(path.size()));
    payload.append(path.constData(), static_cast<std::size_t>(path.size()));
    putU64(payload, static_cast<std::uint64_t>(base.stamp.size));
    putU64(payload, static_cast<std::uint64_t>(base.stamp.mtimeNs));
    putU64(payload, base.stamp.hash);
    return payload;
}

bool DecodeBase(std::span<const char> payload, Base& base)
{
    if (payload.size() < 5)
        return false;
    const auto flags = static_cast<std::uint8_t>(payload[0]);
    const std::uint64_t pathLength = GetU32(payload.data() + 1);
    if (payload.size() != 5 + pathLength + 24)
        return false;
    base.hasFile = (flags & kBaseHasFile) != 0;
    base.compacted = (flags & kBaseCompacted) != 0;
    base.path = QString::fromUtf8(payload.data() + 5, static_cast<qsizetype>(pathLength));
    const char* stamp = payload.data() + 5 + pathLength;
    base.stamp.size = static_cast<std::int64_t>(getU64(stamp));
    base.stamp.mtimeNs = static_cast<std::int64_t>(getU64(stamp + 8));
    base.stamp.hash = getU64(stamp + 16);
    return !base.hasFile || base.stamp.isValid();
}

void PutPosition(std::string& payload, std::size_t position) { PutU32(payload, static_cast<std::uint32_t>(position)); }

} // namespace journal
