#pragma once

class CSettingsWriter;
class QMainWindow;
class QWidget;

// The main window's place, size, maximised state and bar visibility, kept
// in the application's QSettings between runs.

// Applies the saved state to a window not yet shown, with the window,
// frame included, moved and shrunk into the screens present now. Without a
// saved state the window gets a size that fits the primary screen's
// available area, centred on it.
void restoreWindowState(QMainWindow* window, QWidget* toolBar, QWidget* statusBar);
// Reads the state now and hands its writing to `writer`.
void saveWindowState(CSettingsWriter& writer, const QMainWindow* window, const QWidget* toolBar,
                     const QWidget* statusBar);
