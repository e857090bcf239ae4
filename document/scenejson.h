#pragma once

#include "model/c3dobject.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QIODevice;

// The JSON form of a scene that `qbx dump` prints and `qbx build` reads:
//
//   {"schema": 3, "objects": [{"name": "Kuleczka", "type": 1, "x": 0,
//    "y": 0, "z": 0, "colourMode": 0, "colour": 0}]}
//
// Names are UTF-8 in JSON and Windows-1250 bytes in the scene.
namespace qbx {

using ObjectList = std::vector<std::unique_ptr<C3dObject>>;

// `objects` as JSON with one-space indentation, keys in the order above and
// a final newline. `schema` is the one stored in the file, null when absent.
// The text is handed to `sink` in pieces of about 64 KiB, so that a large
// scene need not be held as text in memory at once.
void WriteJson(const ObjectList& objects, std::optional<unsigned> schema,
               const std::function<void(std::string_view)>& sink);

// Reads objects from JSON of the dump form on `device`, through a buffer of
// `bufferSize` bytes, building them as the text goes by. "schema" may be
// present, with any value, and is ignored; a key given twice takes its last
// value. Anything else is an error: another key, a missing key, a name that
// is not Windows-1250 text of at most 255 bytes without NUL, a number that
// is not a whole number in the 32-bit signed range ("1.0" and "1e3" are
// whole), text that is not JSON (a raw control character in a string among
// it) or that goes on after the document. A byte order mark before the text
// is passed over. On failure returns nothing, with the reason (naming the
// offending element, or the offset in the text) in `error`.
std::optional<ObjectList> ObjectsFromJson(QIODevice& device, QString* error, qint64 bufferSize = 64 * 1024);
// The same for the JSON text `json`.
std::optional<ObjectList> ObjectsFromJson(const QByteArray& json, QString* error);

} // namespace qbx
