#pragma once

#include "framework/core/arena.h"

#include <cstdint>
#include <string>
#include <string_view>

// Shape type numbers; any other number is shown as "Borg".
enum ShapeType : std::int32_t { SHAPE_SPHERE = 1, SHAPE_CUBE = 2, SHAPE_STAR = 3 };
// How m_nColour is read.
enum ColourMode : std::int32_t { COLOUR_LISTED = 0, COLOUR_USER = 1 };
// Indices of the listed colours.
enum ListColour : std::int32_t { LIST_RED = 0, LIST_GREEN = 1, LIST_BLUE = 2 };

// All data of one scene object and the display texts the views ask for.
// Owned by its C3dObject. m_szName holds Windows-1250 bytes, NUL-terminated,
// at most kMaxName of them. Allocated from fw::Arena: a scene's shapes lie
// side by side on huge pages.
class C3dShape final {
public:
    static constexpr std::size_t kMaxName = 255;

    C3dShape(std::int32_t x, std::int32_t y, std::int32_t z, std::int32_t type);

    static void* operator new(std::size_t bytes) { return fw::Arena::allocate(bytes); }
    static void operator delete(void* pointer, std::size_t bytes) noexcept { fw::Arena::deallocate(pointer, bytes); }
    virtual std::int32_t GetType() const;
    virtual const char* GetTypeName() const;
    virtual const char* GetDefaultName() const;
    // "Red", "Green", "Blue", "Unknown" in listed mode; "#RRGGBB" in user-defined mode.
    virtual std::string GetColourText() const;

    // Copies `name` into m_szName, cut to kMaxName bytes and at any NUL.
    void SetName(std::string_view name);

    // Packs and unpacks the user-defined RGB value: red in bits 0-7, green 8-15, blue 16-23.
    static constexpr std::int32_t Rgb(int red, int green, int blue)
    {
        return std::int32_t((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
    }

    std::int32_t m_nColour = 0;
    std::int32_t m_nColourMode = COLOUR_LISTED;
    std::int32_t m_nX;
    std::int32_t m_nY;
    std::int32_t m_nZ;
    std::int32_t m_nType;
    char m_szName[kMaxName + 1];

private:
    static const char* defaultNameFor(std::int32_t type);
};
