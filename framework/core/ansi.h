#pragma once

#include <QString>
#include <QStringView>
#include <string>
#include <string_view>

namespace fw {

// The narrow ("ANSI") code page of names and built-in texts: Windows-1250.
// Names are kept as these bytes in memory and in files; the GUI and the
// command-line tool convert at their edges.

// Decodes Windows-1250 bytes. Every byte has a form: the five bytes the code
// page leaves undefined decode to the C1 control of the same value.
QString fromAnsi(std::string_view bytes);

// Encodes text as Windows-1250; a character with no form there (including a
// lone surrogate) becomes '?'. A surrogate pair is one character, one '?'.
std::string toAnsi(QStringView text);

} // namespace fw
