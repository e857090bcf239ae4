#include "model/c3dobject.h"

#include "framework/core/archive.h"

namespace {

std::unique_ptr<fw::Object> createC3dObject() { return std::make_unique<C3dObject>(); }

} // namespace

const fw::RuntimeClass C3dObject::classInfo = {"C3dObject", C3dObject::kSchema, &createC3dObject};

void C3dObject::Serialize(fw::Archive& ar)
{
    if (ar.IsStoring()) {
        C3dShape& s = *m_pShape;
        ar.WriteString(s.m_szName);
        ar.WriteInt32(s.m_nType);
        ar.WriteInt32(s.m_nX);
        ar.WriteInt32(s.m_nY);
        ar.WriteInt32(s.m_nZ);
        ar.WriteInt32(s.m_nColourMode);
        ar.WriteInt32(s.m_nColour);
        return;
    }

    if (!m_pShape)
        m_pShape = std::make_unique<C3dShape>(0, 0, 0, SHAPE_SPHERE);
    const unsigned schema = ar.GetObjectSchema();
    if (schema != 1 && schema != 3)
        throw fw::ArchiveError(fw::ArchiveError::Cause::BadSchema, std::to_string(schema));
    C3dShape& s = *m_pShape;
    s.SetName(ar.ReadString(C3dShape::kMaxName));
    s.m_nType = ar.ReadInt32();
    s.m_nX = ar.ReadInt32();
    s.m_nY = ar.ReadInt32();
    s.m_nZ = ar.ReadInt32();
    if (schema == 3) {
        s.m_nColourMode = ar.ReadInt32();
        s.m_nColour = ar.ReadInt32();
    }
}
