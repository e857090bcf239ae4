#pragma once

#include <QIcon>
#include <QString>

// An icon drawn from a folder of the Qt resource that holds one PNG per pixel
// size, named SIZE.png (rendered from the icon's SVG when tesk is built; see
// app/CMakeLists.txt). Each use gets the PNG of its exact device-pixel size,
// else the next larger one scaled down, else the largest scaled up. On a
// background that the icon's outline does not stand out from (a dark
// palette), the icon gets a rim in a contrasting colour. The icon is square:
// a place of another shape gets it centred, at the shorter side's size. Disabled and
// selected looks come from the style, as for any other icon.
QIcon iconSet(const QString& folder);
