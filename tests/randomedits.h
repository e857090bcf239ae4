#pragma once

#include "document/teskdoc.h"

#include <cstdint>
#include <random>
#include <string>

namespace testutil {

// One random change through the document's three change operations: two in
// five add an object, two in five rewrite every field of a random object
// (names with Windows-1250 letters too) and one in five removes a random
// object. The same engine state gives the same change.
inline void RandomEdit(CTeskDoc& doc, std::mt19937& rng)
{
    const std::size_t count = doc.GetObjects().size();
    const auto op = count == 0 ? 0 : rng() % 5;
    if (op < 2) {
        doc.AddObject(static_cast<int>(1 + rng() % 3));
        return;
    }
    C3dObject* object = doc.GetObjects()[rng() % count].get();
    if (op == 4) {
        doc.RemoveObject(object);
        return;
    }
    C3dShape& shape = *object->m_pShape;
    shape.SetName((rng() % 2 ? "Kula\xB9 " : "obj ") + std::to_string(rng() % 1000));
    shape.m_nType = static_cast<std::int32_t>(1 + rng() % 4);
    shape.m_nX = static_cast<std::int32_t>(rng());
    shape.m_nY = static_cast<std::int32_t>(rng() % 200) - 100;
    shape.m_nZ = static_cast<std::int32_t>(rng() % 7);
    shape.m_nColourMode = static_cast<std::int32_t>(rng() % 2);
    shape.m_nColour = static_cast<std::int32_t>(rng() & 0xFFFFFF);
    doc.ObjectChanged(object);
}

} // namespace testutil
