#pragma once

#include <functional>

class CTeskApp;

// The whole program behind main(): reads the command line before any
// window system is touched (--help and --version need no display), refuses
// to start without a display, hands the files to an editor already running
// for this user and display, and otherwise runs the editor.
// Exit status: 0, 1 when a file could not be opened or there is no display,
// 2 for a usage error.
//
// `started`, if given, is called once, when the editor has started (its
// main window shown, the command line's files open) and before its event
// loop runs; the start-up benchmarks watch the first frame from there.
int runTesk(int argc, char* argv[], const std::function<void(CTeskApp&)>& started = {});
