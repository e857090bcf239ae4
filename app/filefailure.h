#pragma once

#include <QString>

namespace fw {
struct FileError;
}

// What the user reads when a scene cannot be opened or saved: `text` says
// in plain words what happened, naming the file by its name alone;
// `detail` keeps the full path and the exact technical reason (a message
// box shows it on request, scripts get it on stderr).
struct FileFailure {
    QString text;
    QString detail;
};

// `error` is what the document's open or save returned.
FileFailure openFailure(const fw::FileError& error);
FileFailure saveFailure(const fw::FileError& error);
