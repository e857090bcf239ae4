#pragma once

#include "framework/core/object.h"

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

// A load that met malformed data. `cause` says what was wrong; what() is a
// short reason for people ("end of file", "bad schema 2", ...).
class ArchiveError : public std::runtime_error {
public:
    enum class Cause { EndOfFile, BadClass, BadIndex, BadSchema, NullObject, DuplicateObject, WrongClass };
    ArchiveError(Cause cause, const std::string& detail = {});
    Cause cause() const { return m_cause; }
    static const char* causeText(Cause cause);

private:
    Cause m_cause;
};

// The binary object archive: little-endian integers, length-prefixed narrow
// strings, counts, and object records carrying class identity with
// back-references, byte-compatible with the original program's files.
//
// A storing archive appends to an in-memory buffer (bytes()); a loading
// archive reads from a span the caller keeps alive. Loading throws
// ArchiveError on malformed data and never allocates by an untrusted count.
class Archive {
public:
    static Archive forStoring();
    static Archive forLoading(std::span<const char> data);

    bool IsStoring() const { return m_storing; }
    bool IsLoading() const { return !m_storing; }

    void WriteUInt16(std::uint16_t value);
    void WriteUInt32(std::uint32_t value);
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
    // `maxBytes` are kept; the rest of a longer string is skipped.
    std::string ReadString(std::size_t maxBytes);
    // Reads one object record. Refuses nulls, references to objects already
    // read (each would be owned twice), references to indices that name no
    // class or object read before, and objects of a class other than
    // `expected`. The new object is owned by the caller.
    std::unique_ptr<Object> ReadObject(const RuntimeClass* expected);

    // While an object's Serialize loads: the schema stored with its class.
    unsigned GetObjectSchema() const { return m_loadingSchema; }
    // After loading: the schema stored with `cls`, if the data named it.
    std::optional<unsigned> StoredSchema(const RuntimeClass* cls) const;

    // Bytes not yet read (loading).
    std::size_t Remaining() const { return m_data.size() - m_pos; }
    const std::string& bytes() const { return m_out; }
    std::string takeBytes() { return std::move(m_out); }
    void Reserve(std::size_t bytes) { m_out.reserve(bytes); }

    // Stores a list of owned objects: its count, then each record.
    template <typename T>
    void StoreList(const std::vector<std::unique_ptr<T>>& list)
    {
        WriteCount(static_cast<std::uint32_t>(list.size()));
        for (const auto& object : list)
            WriteObject(*object);
    }

    // Loads a list of owned objects of class T into `list` (which is left
    // untouched when the load throws).
    template <typename T>
    void LoadList(std::vector<std::unique_ptr<T>>& list)
    {
        const std::uint64_t count = ReadCount();
        std::vector<std::unique_ptr<T>> loaded;
        // Every record takes at least two bytes: never reserve beyond what the data can hold.
        loaded.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, Remaining() / 2)));
        for (std::uint64_t i = 0; i < count; ++i) {
            std::unique_ptr<Object> object = ReadObject(&T::classInfo);
            loaded.emplace_back(static_cast<T*>(object.release()));
        }
        list = std::move(loaded);
    }

private:
    explicit Archive(bool storing, std::span<const char> data = {});
    void need(std::size_t bytes) const;
    std::uint64_t readStringLength(bool& wide);
    const RuntimeClass* readClassRecord();

    bool m_storing;
    std::span<const char> m_data;
    std::size_t m_pos = 0;
    std::string m_out;

    // Shared index counter of class and object records; index 0 means "no object".
    std::uint32_t m_nextIndex = 1;
    // Storing: class -> its index. Loading: index -> class, for indices that name a class.
    std::unordered_map<const RuntimeClass*, std::uint32_t> m_storedClasses;
    std::unordered_map<std::uint32_t, const RuntimeClass*> m_loadedClasses;
    std::unordered_map<const RuntimeClass*, unsigned> m_loadedSchemas;
    unsigned m_loadingSchema = 0;
};

} // namespace fw
