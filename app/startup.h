#pragma once

// The whole program behind main(): reads the command line before any
// window system is touched (--help and --version need no display), refuses
// to start without a display, hands the files to an editor already running
// for this user and display, and otherwise runs the editor.
// Exit status: 0, 1 when a file could not be opened or there is no display,
// 2 for a usage error.
int runTesk(int argc, char* argv[]);
