#pragma once

#include "framework/core/filestamp.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The byte form of a scene's recovery journal, and its one codec, shared by
// the writer (CSceneJournal) and the reader (ReadJournal).
//
//   header  "TESKJRNL" u32 version
//   record  u32 length | u8 kind | payload (length - 1 bytes) | u32 check
//
// `check` is the low half of the XXH3 hash of kind and payload. Integers are
// little-endian. The first record is always the base record; the rest are
// the scene's changes in the order they were made, optionally preceded by
// a snapshot of the whole scene.
//   Base      u8 flags (bit 0: builds on a file; bit 1: compacted, the
//             snapshot already holds changes) | u32 path length | path
//             (UTF-8) | i64 size | i64 mtime ns | u64 hash
//   Snapshot  the scene's list in the file's own form (count, object records)
//   Add       u32 position | one object record (the object appended there)
//   Change    u32 position | one object record (the object's new fields)
//   Remove    u32 position
// Each object record stands alone (its own class record), so that a record
// can be decoded without the ones before it.
namespace journal {

inline constexpr std::string_view kMagic = "TESKJRNL";
inline constexpr std::uint32_t kVersion = 1;
inline constexpr std::size_t kHeaderSize = 12;
// Length, kind and check around a payload.
inline constexpr std::size_t kRecordOverhead = 9;
// Journal files in the recovery folder end with this.
inline constexpr std::string_view kSuffix = ".tjournal";

enum class Kind : std::uint8_t { Base = 1, Snapshot = 2, Add = 3, Change = 4, Remove = 5 };

// What a journal builds on, as its base record holds it.
struct Base {
    bool hasFile = false;   // a file rather than an empty scene
    bool compacted = false; // the snapshot after it already holds changes
    QString path;
    fw::FileStamp stamp;
};

// A record read in place: its payload points into the journal's bytes.
struct Record {
    Kind kind;
    std::span<const char> payload;
};

// The journal's header.
std::string Header();
// Appends a record of `kind` around `payload` to `out`.
void AppendRecord(std::string& out, Kind kind, std::string_view payload);
// Reads the record at `offset` and moves past it; false with the reason in
// `damage` when it is cut short or fails its check.
bool ReadRecord(std::span<const char> data, std::uint64_t& offset, Record& record, QString& damage);

// The payload of a base record, and back; false when it is malformed.
std::string EncodeBase(const Base& base);
bool DecodeBase(std::span<const char> payload, Base& base);

// The start of a change's payload: the position it acts at.
void PutPosition(std::string& payload, std::size_t position);

} // namespace journal
