#pragma once

#include "framework/core/object.h"

#include <QtEndian>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace fw {

class FileReader;

// Appends `value` to `out` as little-endian bytes, the byte order of every
// integer in archives and recovery journals.
template <typename T>
void AppendLittleEndian(std::string& out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof bytes);
}

// A load that met malformed data. `cause` says what was wrong; what() is a
// short reason for people ("end of file", "bad schema 2", ...).
class ArchiveError : public std::runtime_error {
public:
    enum class Cause { EndOfFile, BadClass, BadIndex, BadSchema, NullObject, DuplicateObject, WrongClass, OutOfMemory };
    ArchiveError(Cause cause, const std::string& detail = {});
    Cause cause() const { return m_cause; }
    static const char* causeText(Cause cause);

private:
    Cause m_cause;
};

// The binary object archive: little-endian integers, length-prefixed narrow
// strings, counts, and object records carrying class identity with
// back-references, in the archive layout of .qbx files byte for byte.
//
// A storing archive appends to an in-memory buffer (bytes()). A loading
// archive reads either from a span or from a FileReader, both of which the
// caller keeps alive; a file is pulled through a fixed buffer, so memory
// follows the objects read, not the file's size, and bytes after the last
// record the caller asks for stay unread. Loading throws ArchiveError on
// malformed data (and whatever the reader throws on a read error) and never
// allocates by an untrusted count.
class Archive {
public:
    static Archive forStoring();
    static Archive forLoading(std::span<const char> data);
    static Archive forLoading(FileReader& file);

    bool IsStoring() const { return m_storing; }

    void WriteUInt16(std::uint16_t value) { AppendLittleEndian(m_out, value); }
    void WriteUInt32(std::uint32_t value) { AppendLittleEndian(m_out, value); }
    void WriteInt32(std::int32_t value) { WriteUInt32(static_cast<std::uint32_t>(value)); }
    void WriteCount(std::uint32_t count);
    // Writes narrow (one byte per character) text with its length prefix.
    void WriteString(std::string_view bytes);
    // Writes an object record: class identity (or a back-reference to it), then the body.
    void WriteObject(const Object& object);

    std::uint8_t ReadUInt8();
    std::uint16_t ReadUInt16();
    std::uint32_t ReadUInt32();
    std::int32_t ReadInt32() { return static_cast<std::int32_t>(ReadUInt32()); }
    std::uint64_t ReadCount();
    // Reads a length-prefixed string. Narrow text comes back as its bytes;
    // wide (UTF-16) text is converted to the narrow code page. At most
    // `maxBytes` (below 16 KiB: the kept part must fit the read buffer) are
    // kept; the rest of a longer string is skipped.
    std::string ReadString(std::size_t maxBytes);
    // Reads one object record of class `expected`. Refuses nulls, references
    // to objects already read (each would be owned twice), references to
    // indices that name no class or object read before, a class record that
    // names another class, and a reference to the record of one. The new
    // object is owned by the caller.
    std::unique_ptr<Object> ReadObject(const RuntimeClass* expected);

    // While an object's Serialize loads: the schema stored with its class.
    unsigned GetObjectSchema() const { return m_loadingSchema; }
    // After loading: the schema of the first record of `cls`, if the data named it.
    std::optional<unsigned> StoredSchema(const RuntimeClass* cls) const;

    // Bytes not yet read (loading): the rest of a span, or what the buffer
    // holds of a file.
    std::size_t Remaining() const { return static_cast<std::size_t>(m_end - m_cur); }
    const std::string& bytes() const { return m_out; }
    std::string takeBytes() { return std::move(m_out); }

    // Stores a list of owned objects: its count, then each record. A string
    // that grows holds its old bytes and their copy at once, twice a large
    // scene's size; so whenever the records stored so far (64, 128, 256, ...
    // of them) show that the rest will not fit, room for the whole list at
    // their rate, and an eighth more, is made while the copy is still small.
    template <typename T>
    void StoreList(const std::vector<std::unique_ptr<T>>& list)
    {
        WriteCount(static_cast<std::uint32_t>(list.size()));
        const std::size_t start = m_out.size();
        for (std::size_t i = 0; i < list.size(); ++i) {
            WriteObject(*list[i]);
            const std::size_t stored = i + 1;
            if (stored >= 64 && (stored & (stored - 1)) == 0)
                reserveAtRate(start, stored, list.size());
        }
    }

    // Loads a list of owned objects of class T into `list` (which is left
    // untouched when the load throws).
    template <typename T>
    void LoadList(std::vector<std::unique_ptr<T>>& list)
    {
        const std::uint64_t count = ReadCount();
        std::vector<std::unique_ptr<T>> loaded;
        // Every record takes at least two bytes: never expect more than
        // the bytes left can hold (all of a span, the rest of a regular file,
        // a buffer of a stream), nor beyond kMaxReserve. Reserving the list
        // whole spares a big load the copies and fresh pages of its growth,
        // and room to grow by half spares the first object added after the
        // load a copy of the whole list; room never used is never touched.
        const auto expected = static_cast<std::size_t>(std::min({count, bytesLeft() / 2, kMaxReserve}));
        loaded.reserve(expected + expected / 2);
        for (std::uint64_t i = 0; i < count; ++i) {
            // Owned all along: growing the list may throw.
            std::unique_ptr<T> object(static_cast<T*>(ReadObject(&T::classInfo).release()));
            loaded.push_back(std::move(object));
        }
        list = std::move(loaded);
    }

private:
    // A class record met while loading: the class and the schema stored with it.
    struct LoadedClass {
        const RuntimeClass* cls;
        unsigned schema;
    };

    static constexpr std::uint64_t kMaxReserve = std::uint64_t(1) << 24;

    explicit Archive(bool storing, std::span<const char> data = {});
    // Loading: the bytes that can still be read, as far as known.
    std::uint64_t bytesLeft() const;
    // Storing: makes room for `total` records when `stored` of them took
    // the bytes after `start`, if they would not fit.
    void reserveAtRate(std::size_t start, std::size_t stored, std::size_t total);
    // Makes at least `bytes` (at most kBufferSize) readable at m_cur.
    void need(std::size_t bytes)
    {
        if (static_cast<std::size_t>(m_end - m_cur) < bytes)
            refill(bytes);
    }
    void refill(std::size_t bytes);
    // Passes over `bytes` bytes without keeping them.
    void skip(std::uint64_t bytes);
    std::uint64_t readStringLength(bool& wide);
    // A class record, which must name `expected`.
    const LoadedClass& readClassRecord(const RuntimeClass* expected);

    bool m_storing;
    // Loading: the unread bytes at hand, in the span or in m_buffer.
    const char* m_cur = nullptr;
    const char* m_end = nullptr;
    FileReader* m_file = nullptr;
    std::unique_ptr<char[]> m_buffer;
    std::string m_out;

    // Shared index counter of class and object records; index 0 means "no object".
    std::uint32_t m_nextIndex = 1;
    // Storing: class -> its index. Loading: index -> class record, for
    // indices that name a class, and the schema of each class's first record.
    std::unordered_map<const RuntimeClass*, std::uint32_t> m_storedClasses;
    std::unordered_map<std::uint32_t, LoadedClass> m_loadedClasses;
    std::unordered_map<const RuntimeClass*, unsigned> m_firstSchemas;
    unsigned m_loadingSchema = 0;
};

} // namespace fw
