#pragma once

#include <QIcon>
#include <QString>

// An icon drawn from an SVG resource at the exact device-pixel size of each
// use, so that it stays crisp at any screen scale. It renders through
// QSvgRenderer directly, without the icon-engine and image-format plugins
// that QIcon would load for an .svg file at start-up. Disabled and selected
// looks come from the style, as for any other icon.
QIcon svgIcon(const QString& resourcePath);
