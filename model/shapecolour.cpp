#include "model/shapecolour.h"

#include "model/c3dshape.h"

std::optional<std::uint32_t> ShownRgb(const C3dShape& shape)
{
    if (shape.m_nColourMode == COLOUR_LISTED) {
        switch (shape.m_nColour) {
        case LIST_RED: return 0xFF0000u;
        case LIST_GREEN: return 0x00FF00u;
        case LIST_BLUE: return 0x0000FFu;
        default: return std::nullopt;
        }
    }
    if (shape.m_nColourMode == COLOUR_USER) {
        // Stored with red in the low byte.
        const auto packed = static_cast<std::uint32_t>(shape.m_nColour);
        return ((packed & 0xFFu) << 16) | (packed & 0xFF00u) | ((packed >> 16) & 0xFFu);
    }
    return std::nullopt;
}
