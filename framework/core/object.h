#pragma once

#include <memory>
#include <string_view>

namespace fw {

class Archive;
class Object;

// Marks a class whose loader accepts several stored schemas and asks the
// archive which one it met. The flag is never written to a file.
inline constexpr unsigned kVersionableSchema = 0x80000000u;

// Identity of a serializable class: the name and schema that an archive
// stores, and the factory that loading uses to create an instance by name.
struct RuntimeClass {
    const char* name;
    unsigned schema;
    std::unique_ptr<Object> (*create)();

    unsigned storedSchema() const { return schema & ~kVersionableSchema; }
};

// Base of every object an archive stores by class identity.
class Object {
public:
    virtual ~Object() = default;
    virtual const RuntimeClass* GetRuntimeClass() const = 0;
    virtual void Serialize(Archive& ar) = 0;

    bool IsKindOf(const RuntimeClass* cls) const { return GetRuntimeClass() == cls; }
};

// The process-wide registry of serializable classes. Classes register once,
// at static initialisation, through RegisterClass below; the archive looks
// them up by the exact stored name.
class ClassRegistry {
public:
    static void add(const RuntimeClass* cls);
    static const RuntimeClass* find(std::string_view name);
};

// Registers `cls` when the translation unit that defines it is initialised.
struct RegisterClass {
    explicit RegisterClass(const RuntimeClass* cls) { ClassRegistry::add(cls); }
};

} // namespace fw
