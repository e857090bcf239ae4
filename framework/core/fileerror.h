#pragma once

#include "framework/core/archive.h"

#include <QString>

namespace fw {

// Why a document's file could not be opened or saved, as the document
// found it: the kind of failure, the file, and the reason in the system's
// words (or the loader's, for damaged contents). Plain data; the GUI words
// it for people.
struct FileError {
    enum class Kind {
        System,       // the system refused; `reason` says why
        NoSuchFile,   // opening a file that is not there
        NotAFile,     // a folder, a pipe or a device
        NoSuchFolder, // saving into a folder that is not there
        OutOfMemory,  // the contents do not fit in memory
        Damaged,      // the loader refused the contents; `damage` says what it met
    };

    Kind kind = Kind::System;
    ArchiveError::Cause damage = ArchiveError::Cause::EndOfFile;
    QString path;
    QString reason;
};

} // namespace fw
