#pragma once

#include <QImage>
#include <memory>
#include <span>

class C3dObject;

// A scene seen from above: x to the right, y up, the objects' extent scaled
// to fit a picture whose longer side is `size` pixels (the shorter side
// follows the extent; a scene of one point, or none, gives a square). Each
// object is a glyph of its type, filled with its colour (grey for a colour
// without RGB) and, when large enough, framed in dark grey: a circle for a
// sphere, a square for a cube, a five-pointed star for a star and a
// diagonal cross for "Borg". Glyphs have a radius of size / 24 pixels, less
// when the objects would cover the picture more than four times over, and
// the later object in the list is drawn over the earlier. `size` at least 16.
//
// Needs Qt Gui but no QGuiApplication, display or fonts.
QImage RenderSceneThumbnail(std::span<const std::unique_ptr<C3dObject>> objects, int size);
