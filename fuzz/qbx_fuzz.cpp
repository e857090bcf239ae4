// libFuzzer target over the scene loader. Any input must load or be refused
// with a reason, without crash, leak or hang; a refused load must leave the
// document empty. A scene that loads must survive a save and reload
// unchanged, save to the same bytes again, and survive its JSON dump and
// rebuild unchanged.

#include "document/teskdoc.h"
#include "framework/core/archive.h"
#include "document/scenejson.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool sameObjects(const qbx::ObjectList& a, const qbx::ObjectList& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const C3dShape& s = *a[i]->m_pShape;
        const C3dShape& t = *b[i]->m_pShape;
        if (std::strcmp(s.m_szName, t.m_szName) != 0 || s.m_nType != t.m_nType || s.m_nX != t.m_nX
            || s.m_nY != t.m_nY || s.m_nZ != t.m_nZ || s.m_nColourMode != t.m_nColourMode || s.m_nColour != t.m_nColour)
            return false;
    }
    return true;
}

std::string save(CTeskDoc& doc)
{
    fw::Archive ar = fw::Archive::forStoring();
    doc.Serialize(ar);
    return ar.takeBytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CTeskDoc doc;
    QString error;
    fw::Archive in = fw::Archive::forLoading(std::span<const char>(reinterpret_cast<const char*>(data), size));
    if (!doc.LoadFrom(in, &error)) {
        require(!error.isEmpty() && doc.GetObjects().empty());
        return 0;
    }

    const std::string saved = save(doc);
    CTeskDoc reloaded;
    fw::Archive again = fw::Archive::forLoading(std::span<const char>(saved.data(), saved.size()));
    require(reloaded.LoadFrom(again, &error));
    require(again.Remaining() == 0);
    require(sameObjects(doc.GetObjects(), reloaded.GetObjects()));
    require(save(reloaded) == saved);

    std::string json;
    qbx::WriteJson(doc.GetObjects(), in.StoredSchema(&C3dObject::classInfo), [&json](std::string_view piece) { json += piece; });
    const auto rebuilt = qbx::ObjectsFromJson(QByteArray::fromStdString(json), &error);
    require(rebuilt && sameObjects(doc.GetObjects(), *rebuilt));
    return 0;
}
