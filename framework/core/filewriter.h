#pragma once

#include "framework/core/filestamp.h"

#include <QString>
#include <string_view>

namespace fw {

// Writes `bytes` as the whole content of the file at `path`, so that a
// failure at any point leaves the previous file as it was, and a success
// leaves the file what it was apart from its bytes:
// - a symlink is followed and its target written; the link stays;
// - an existing target that is not a regular file (a device, a pipe, a
//   directory, a socket) is refused with "not a regular file";
// - a new file, or one whose owner, group and mode a fresh file can take
//   and which has a single link, is replaced by renaming a complete, flushed
//   temporary file over it, the temporary given the old file's owner, group
//   and mode first, and the folder flushed after the rename;
// - otherwise (another owner, more than one link) the file is rewritten in
//   place, with a copy of its old bytes kept beside it, the copy and its name
//   flushed before the first byte of the file changes, until the new ones are
//   flushed; on failure the old bytes are written back from the copy, and if
//   even that fails the copy stays and the reason names it.
// So at every moment a power cut leaves the old bytes loadable in the file
// or whole in the copy, and once this returns true only the new bytes are
// on disk, durably.
// On success fills `stamp` (size and time of the file in place, hash of
// `bytes`); on failure returns false with the reason in `error`.
bool WriteFileKeepingItsKind(const QString& path, std::string_view bytes, FileStamp* stamp, QString* error);

// Makes a write beyond the file size limit (ulimit -f) fail with EFBIG, as a
// full disk does, instead of ending the process with SIGXFSZ. Both programs
// call it first thing in main().
void IgnoreFileSizeSignal();

} // namespace fw
