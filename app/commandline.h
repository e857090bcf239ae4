#pragma once

#include <QString>
#include <QStringList>

// tesk's command line, read before any window system is touched.
//
// Options: --help, --version, --new-instance (start an editor of its own
// instead of handing the files to one already running), --recover (recover
// every scene left with unsaved changes without asking; an editor of its
// own, since the running one holds no orphaned journals); the options that
// Qt itself reads (-platform NAME, -style NAME, ...) are accepted and left
// to Qt. Everything else is a file name; "--" ends the options, so that a
// file whose name starts with "-" can be named. A word with a single dash
// is one option ("-dash.qbx" is the unknown option "dash.qbx"), as Qt's own
// options are.
struct CommandLine {
    enum class Action { Run, Help, Version, UsageError };

    Action action = Action::Run;
    QStringList files;
    bool newInstance = false;
    bool recoverAll = false;
    // The platform chosen with -platform, empty when none was.
    QString platform;
    // For Help and Version: the text for stdout. For UsageError: the one
    // line for stderr, without the program name.
    QString text;
};

// Parses `arguments` (program name first). Needs a QCoreApplication only
// for the help text's program name.
CommandLine parseCommandLine(const QStringList& arguments);
