#pragma once

#include <QString>

// The one place that knows where tesk's windows go and whether anybody sees
// them. The command line, the instance channel, the recovery offer and the
// message boxes of start-up ask here.

// The platform plugin that windows will go to: `platformOption` (the
// -platform value), else QT_QPA_PLATFORM, without the plugin's own options
// ("vnc:size=800x600" is "vnc"); empty for the desktop's own, X11 or Wayland.
QString displayPlatform(const QString& platformOption);

// Whether windows on `platform` (as displayPlatform or
// QGuiApplication::platformName names it) reach a person who can answer a
// question. offscreen and minimal show nothing to anybody; every other
// platform, a VNC server among them, has a screen.
bool isInteractive(const QString& platform);
// The same for the running QGuiApplication.
bool isInteractive();

// Why tesk cannot show a window here, or empty when it can: the platform
// (see displayPlatform), or else X11 or Wayland, needs a display that the
// environment does not name.
QString missingDisplayReason(const QString& platformOption);
