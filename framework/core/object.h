#pragma once

#include <memory>

namespace fw {

class Archive;
class Object;

// Identity of a serializable class: the name and schema that an archive
// stores, and the factory that loading uses to create an instance. A loader
// that accepts several stored schemas asks the archive which one it met.
struct RuntimeClass {
    const char* name;
    unsigned schema;
    std::unique_ptr<Object> (*create)();
};

// Base of every object an archive stores by class identity.
class Object {
public:
    virtual ~Object() = default;
    virtual const RuntimeClass* GetRuntimeClass() const = 0;
    virtual void Serialize(Archive& ar) = 0;
};

} // namespace fw
