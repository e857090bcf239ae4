#include "model/c3dshape.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

C3dShape::C3dShape(std::int32_t x, std::int32_t y, std::int32_t z, std::int32_t type)
    : m_nX(x)
    , m_nY(y)
    , m_nZ(z)
    , m_nType(type)
{
    // The constructor's own lookup: a virtual call would not reach an override here anyway.
    SetName(defaultNameFor(type));
}

std::int32_t C3dShape::GetType() const { return m_nType; }

const char* C3dShape::GetTypeName() const
{
    switch (m_nType) {
    case SHAPE_SPHERE: return "Sphere";
    case SHAPE_CUBE: return "Cube";
    case SHAPE_STAR: return "Star";
    default: return "Borg";
    }
}

const char* C3dShape::GetDefaultName() const { return defaultNameFor(m_nType); }

const char* C3dShape::defaultNameFor(std::int32_t type)
{
    // Windows-1250 bytes: "Kuleczka", "Sześcianik", "Mała śliczna gwiazdka".
    switch (type) {
    case SHAPE_SPHERE: return "Kuleczka";
    case SHAPE_CUBE: return "Sze\x9C" "cianik";
    case SHAPE_STAR: return "Ma\xB3" "a \x9C" "liczna gwiazdka";
    default: return "Borg";
    }
}

std::string C3dShape::GetColourText() const
{
    if (m_nColourMode == COLOUR_LISTED) {
        switch (m_nColour) {
        case LIST_RED: return "Red";
        case LIST_GREEN: return "Green";
        case LIST_BLUE: return "Blue";
        default: return "Unknown";
        }
    }
    if (m_nColourMode == COLOUR_USER) {
        char text[8];
        std::snprintf(text, sizeof text, "#%02X%02X%02X", m_nColour & 0xFF, (m_nColour >> 8) & 0xFF,
                      (m_nColour >> 16) & 0xFF);
        return text;
    }
    // A mode that only a foreign file can carry.
    return "Unknown";
}

void C3dShape::SetName(std::string_view name)
{
    const std::size_t nul = name.find('\0');
    const std::size_t length = std::min({name.size(), nul, kMaxName});
    std::memcpy(m_szName, name.data(), length);
    m_szName[length] = '\0';
}
