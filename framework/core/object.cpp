#include "framework/core/object.h"

#include <cstring>
#include <vector>

namespace fw {
namespace {

std::vector<const RuntimeClass*>& classes()
{
    static std::vector<const RuntimeClass*> list;
    return list;
}

} // namespace

void ClassRegistry::add(const RuntimeClass* cls)
{
    if (!find(cls->name))
        classes().push_back(cls);
}

const RuntimeClass* ClassRegistry::find(std::string_view name)
{
    for (const RuntimeClass* cls : classes()) {
        if (name == cls->name)
            return cls;
    }
    return nullptr;
}

} // namespace fw
