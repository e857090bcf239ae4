#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The byte form of a scene's recovery journal, shared by its writer and its
// reader.
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
inline constexpr std::uint8_t kBaseHasFile = 1;
inline constexpr std::uint8_t kBaseCompacted = 2;
// Journal files in the recovery folder end with this.
inline constexpr std::string_view kSuffix = ".tjournal";

enum class Kind : std::uint8_t { Base = 1, Snapshot = 2, Add = 3, Change = 4, Remove = 5 };

// The check of a record, from the bytes of its kind and payload.
std::uint32_t RecordCheck(std::string_view kindAndPayload);

} // namespace journal
