#pragma once

#include "model/c3dobject.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The JSON form of a scene that `qbx dump` prints and `qbx build` reads:
//
//   {"schema": 3, "objects": [{"name": "Kuleczka", "type": 1, "x": 0,
//    "y": 0, "z": 0, "colourMode": 0, "colour": 0}]}
//
// Names are UTF-8 in JSON and Windows-1250 bytes in the scene.
namespace fw {
class FileReader;
}

namespace qbx {

using ObjectList = std::vector<std::unique_ptr<C3dObject>>;

// `objects` as JSON with one-space indentation, keys in the order above and
// a final newline. `schema` is the one stored in the file, null when absent.
std::string DumpJson(const ObjectList& objects, std::optional<unsigned> schema);
// The same text handed to `sink` in pieces of about 64 KiB, so that a large
// scene need not be held as text in memory at once.
void WriteJson(const ObjectList& objects, std::optional<unsigned> schema,
               const std::function<void(std::string_view)>& sink);

// Reads objects from JSON of the dump form. "schema" may be present and is
// ignored; any other key is an error, as are missing keys, names that are
// not Windows-1250 text of at most 255 bytes without NUL, and numbers that
// are not integers in the 32-bit signed range. On failure returns nothing,
// with the reason (naming the offending element) in `error`.
std::optional<ObjectList> ObjectsFromJson(const QByteArray& json, QString* error);

// Reads objects from the JSON in `file` through a buffer of `bufferSize`
// bytes, so that the text is never held whole, with the fast reader alone:
// it takes the documents that ObjectsFromJson reads without Qt's reader.
// Returns nothing for any other document and on a read error, having read
// part of the file: the caller then reads it again, whole, and hands it to
// ObjectsFromJson, which says what is wrong.
std::optional<ObjectList> FastObjectsFromJson(fw::FileReader& file, std::size_t bufferSize = 64 * 1024);

} // namespace qbx
