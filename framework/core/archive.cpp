#include "framework/core/archive.h"

#include "framework/core/ansi.h"
#include "framework/core/filereader.h"

#include <QString>
#include <algorithm>
#include <cstring>
#include <limits>

namespace fw {
namespace {

constexpr std::uint16_t kNullTag = 0x0000;
constexpr std::uint16_t kNewClassTag = 0xFFFF;
constexpr std::uint16_t kClassTag = 0x8000;
constexpr std::uint16_t kBigObjectTag = 0x7FFF;
constexpr std::uint32_t kBigClassTag = 0x80000000u;
constexpr std::uint32_t kMaxShortIndex = 0x7FFE;
// Longest class name a record may carry.
constexpr std::uint16_t kMaxClassName = 63;
// What a file archive reads ahead. Larger than any piece that must lie in
// one run (a class name, the kept part of a string).
constexpr std::size_t kBufferSize = 64 * 1024;

// `bytes` from a file, fit for a one-line message: printable ASCII stays,
// everything else becomes \xNN.
std::string printable(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            text.push_back(c);
        } else {
            text += "\\x";
            text.push_back(kHex[b >> 4]);
            text.push_back(kHex[b & 0xF]);
        }
    }
    return text;
}

} // namespace

ArchiveError::ArchiveError(Cause cause, const std::string& detail)
    : std::runtime_error(detail.empty() ? std::string(causeText(cause))
                                        : std::string(causeText(cause)) + " (" + detail + ")")
    , m_cause(cause)
{
}

const char* ArchiveError::causeText(Cause cause)
{
    switch (cause) {
    case Cause::EndOfFile: return "end of file";
    case Cause::BadClass: return "bad class";
    case Cause::BadIndex: return "bad index";
    case Cause::BadSchema: return "bad schema";
    case Cause::NullObject: return "null object in the list";
    case Cause::DuplicateObject: return "object listed twice";
    case Cause::WrongClass: return "object of the wrong class";
    case Cause::OutOfMemory: return "out of memory";
    }
    return "bad data";
}

Archive::Archive(bool storing, std::span<const char> data)
    : m_storing(storing)
    , m_cur(data.data())
    , m_end(data.data() + data.size())
{
}

Archive Archive::forStoring() { return Archive(true); }
Archive Archive::forLoading(std::span<const char> data) { return Archive(false, data); }

Archive Archive::forLoading(FileReader& file)
{
    Archive ar(false);
    ar.m_file = &file;
    ar.m_buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    ar.m_cur = ar.m_end = ar.m_buffer.get();
    return ar;
}

std::uint64_t Archive::bytesLeft() const
{
    const std::uint64_t inFile = m_file ? m_file->Left() : 0;
    // A stream of unknown size promises nothing beyond the buffer.
    return Remaining() + (inFile == std::numeric_limits<std::uint64_t>::max() ? 0 : inFile);
}

void Archive::reserveAtRate(std::size_t start, std::size_t stored, std::size_t total)
{
    const std::size_t rest = (m_out.size() - start) / stored * (total - stored);
    if (m_out.size() + rest > m_out.capacity())
        m_out.reserve(m_out.size() + rest + rest / 8);
}

void Archive::WriteCount(std::uint32_t count)
{
    if (count < 0xFFFF) {
        WriteUInt16(static_cast<std::uint16_t>(count));
    } else {
        WriteUInt16(0xFFFF);
        WriteUInt32(count);
    }
}

void Archive::WriteString(std::string_view bytes)
{
    const std::size_t n = bytes.size();
    if (n < 0xFF) {
        m_out.push_back(static_cast<char>(n));
    } else {
        m_out.push_back(static_cast<char>(0xFF));
        if (n < 0xFFFE) {
            WriteUInt16(static_cast<std::uint16_t>(n));
        } else {
            WriteUInt16(0xFFFF);
            WriteUInt32(static_cast<std::uint32_t>(n));
        }
    }
    m_out.append(bytes);
}

void Archive::WriteObject(const Object& object)
{
    const RuntimeClass* cls = object.GetRuntimeClass();
    const auto found = m_storedClasses.find(cls);
    if (found == m_storedClasses.end()) {
        WriteUInt16(kNewClassTag);
        WriteUInt16(static_cast<std::uint16_t>(cls->schema));
        const std::string_view name(cls->name);
        WriteUInt16(static_cast<std::uint16_t>(name.size()));
        m_out.append(name);
        m_storedClasses.emplace(cls, m_nextIndex++);
    } else if (found->second <= kMaxShortIndex) {
        WriteUInt16(static_cast<std::uint16_t>(kClassTag | found->second));
    } else {
        WriteUInt16(kBigObjectTag);
        WriteUInt32(kBigClassTag | found->second);
    }
    // Objects take indices too, although a list never refers back to one.
    ++m_nextIndex;
    const_cast<Object&>(object).Serialize(*this);
}

void Archive::refill(std::size_t bytes)
{
    if (!m_file)
        throw ArchiveError(ArchiveError::Cause::EndOfFile);
    // Keep the unread tail at the start of the buffer and read after it.
    char* const buffer = m_buffer.get();
    const std::size_t kept = Remaining();
    std::memmove(buffer, m_cur, kept);
    m_cur = buffer;
    m_end = buffer + kept;
    while (Remaining() < bytes) {
        const std::size_t got = m_file->Read(buffer + Remaining(), kBufferSize - Remaining());
        if (got == 0)
            throw ArchiveError(ArchiveError::Cause::EndOfFile);
        m_end += got;
    }
}

void Archive::skip(std::uint64_t bytes)
{
    const std::size_t here = Remaining();
    if (bytes <= here) {
        m_cur += bytes;
        return;
    }
    // Fail at once when the file cannot hold the rest, rather than read to its end.
    if (!m_file || bytes - here > m_file->Left())
        throw ArchiveError(ArchiveError::Cause::EndOfFile);
    bytes -= here;
    m_cur = m_end;
    while (bytes > 0) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, kBufferSize));
        need(piece);
        m_cur += piece;
        bytes -= piece;
    }
}

std::uint8_t Archive::ReadUInt8()
{
    need(1);
    return static_cast<std::uint8_t>(*m_cur++);
}

std::uint16_t Archive::ReadUInt16()
{
    need(2);
    m_cur += 2;
    return qFromLittleEndian<std::uint16_t>(m_cur - 2);
}

std::uint32_t Archive::ReadUInt32()
{
    need(4);
    m_cur += 4;
    return qFromLittleEndian<std::uint32_t>(m_cur - 4);
}

std::uint64_t Archive::ReadCount()
{
    const std::uint16_t word = ReadUInt16();
    if (word != 0xFFFF)
        return word;
    return ReadUInt32();
}

std::uint64_t Archive::readStringLength(bool& wide)
{
    wide = false;
    std::uint8_t byteLength = ReadUInt8();
    if (byteLength < 0xFF)
        return byteLength;
    std::uint16_t wordLength = ReadUInt16();
    if (wordLength == 0xFFFE) {
        // Marker of a UTF-16 string; its length follows in the same scheme.
        wide = true;
        byteLength = ReadUInt8();
        if (byteLength < 0xFF)
            return byteLength;
        wordLength = ReadUInt16();
    }
    if (wordLength < 0xFFFF)
        return wordLength;
    const std::uint32_t dwordLength = ReadUInt32();
    if (dwordLength < 0xFFFFFFFFu)
        return dwordLength;
    const std::uint64_t low = ReadUInt32();
    const std::uint64_t high = ReadUInt32();
    return low | (high << 32);
}

std::string Archive::ReadString(std::size_t maxBytes)
{
    bool wide = false;
    const std::uint64_t length = readStringLength(wide);
    // No file holds 2^63 bytes: a wide length beyond that ends the data.
    if (wide && length > UINT64_MAX / 2)
        throw ArchiveError(ArchiveError::Cause::EndOfFile);
    std::string text;
    if (!wide) {
        const std::size_t kept = static_cast<std::size_t>(std::min<std::uint64_t>(length, maxBytes));
        need(kept);
        text.assign(m_cur, kept);
        m_cur += kept;
        skip(length - kept);
    } else {
        // Every output byte takes one UTF-16 unit, or two for a surrogate
        // pair: 2 * (maxBytes + 1) units give more than maxBytes bytes
        // whenever the whole string would, so the cut below sees the same
        // leading bytes as a conversion of the whole string.
        const std::size_t units = length <= maxBytes
            ? static_cast<std::size_t>(length)
            : static_cast<std::size_t>(std::min<std::uint64_t>(length, 2 * std::uint64_t(maxBytes) + 2));
        need(2 * units);
        QString utf16(static_cast<qsizetype>(units), Qt::Uninitialized);
        for (std::size_t i = 0; i < units; ++i) {
            const auto lo = static_cast<unsigned char>(m_cur[2 * i]);
            const auto hi = static_cast<unsigned char>(m_cur[2 * i + 1]);
            utf16[static_cast<qsizetype>(i)] = QChar(static_cast<char16_t>(lo | (hi << 8)));
        }
        // Skipping may refill the buffer: the kept units are copied first.
        m_cur += 2 * units;
        skip(2 * (length - units));
        text = toAnsi(utf16);
        if (text.size() > maxBytes)
            text.resize(maxBytes);
    }
    return text;
}

const Archive::LoadedClass& Archive::readClassRecord(const RuntimeClass* expected)
{
    const std::uint16_t schema = ReadUInt16();
    const std::uint16_t length = ReadUInt16();
    if (length > kMaxClassName)
        throw ArchiveError(ArchiveError::Cause::BadClass, "class name of " + std::to_string(length) + " bytes");
    need(length);
    const std::string_view name(m_cur, length);
    m_cur += length;
    if (name != expected->name)
        throw ArchiveError(ArchiveError::Cause::BadClass, "\"" + printable(name) + "\"");
    // Each record of a class keeps its own schema: objects that refer back
    // to it are read with that one, whatever later records of the class say.
    m_firstSchemas.try_emplace(expected, schema);
    return m_loadedClasses.emplace(m_nextIndex++, LoadedClass{expected, schema}).first->second;
}

std::unique_ptr<Object> Archive::ReadObject(const RuntimeClass* expected)
{
    const std::uint16_t tag = ReadUInt16();
    const LoadedClass* record = nullptr;
    if (tag == kNewClassTag) {
        record = &readClassRecord(expected);
    } else {
        const std::uint32_t objectTag = tag == kBigObjectTag
            ? ReadUInt32()
            : ((std::uint32_t(tag) & kClassTag) << 16) | (tag & ~kClassTag);
        if (objectTag & kBigClassTag) {
            const std::uint32_t index = objectTag & ~kBigClassTag;
            const auto found = m_loadedClasses.find(index);
            if (found == m_loadedClasses.end())
                throw ArchiveError(ArchiveError::Cause::BadIndex, "class index " + std::to_string(index));
            record = &found->second;
        } else if (objectTag == kNullTag) {
            throw ArchiveError(ArchiveError::Cause::NullObject);
        } else if (objectTag < m_nextIndex && !m_loadedClasses.contains(objectTag)) {
            throw ArchiveError(ArchiveError::Cause::DuplicateObject, "reference to index " + std::to_string(objectTag));
        } else {
            // Neither an object read before nor one at all.
            throw ArchiveError(ArchiveError::Cause::BadIndex, "object index " + std::to_string(objectTag));
        }
    }
    if (record->cls != expected)
        throw ArchiveError(ArchiveError::Cause::WrongClass, record->cls->name);
    ++m_nextIndex;
    std::unique_ptr<Object> object = record->cls->create();
    m_loadingSchema = record->schema;
    object->Serialize(*this);
    return object;
}

std::optional<unsigned> Archive::StoredSchema(const RuntimeClass* cls) const
{
    const auto found = m_firstSchemas.find(cls);
    if (found == m_firstSchemas.end())
        return std::nullopt;
    return found->second;
}

} // namespace fw
