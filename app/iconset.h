#pragma once

#include <QIcon>
#include <QString>

// An icon drawn from a folder of the Qt resource that holds one picture per
// pixel size, SIZE.argb: SIZE × SIZE premultiplied ARGB32 pixels, rendered
// from the icon's SVG when tesk is built (see app/CMakeLists.txt). Each use
// gets the picture of its exact device-pixel size, else the next larger one
// scaled down, else the largest scaled up. On a background that the icon's
// outline does not stand out from (a dark palette), the icon gets a rim in a
// contrasting colour. The icon is square: a place of another shape gets it
// centred, at the shorter side's size. Disabled and selected looks come from
// the style, as for any other icon.
QIcon iconSet(const QString& folder);
