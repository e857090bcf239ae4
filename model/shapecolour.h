#pragma once

#include <cstdint>
#include <optional>

class C3dShape;

// The colour a shape is shown in, as 0xRRGGBB: the listed colours as plain
// red, green and blue, a user-defined colour as its RGB value. Empty for a
// listed index or a colour mode that no colour stands for ("Unknown").
// The tree's swatches and the scene thumbnails both draw from it.
std::optional<std::uint32_t> ShownRgb(const C3dShape& shape);
