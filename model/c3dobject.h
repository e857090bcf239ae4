#pragma once

#include "framework/core/object.h"
#include "model/c3dshape.h"

#include <memory>

// One scene object as the document lists it and the file stores it: the
// serializable class "C3dObject" (schema 3, versionable; schema 1 is read
// too). Owns its shape; m_pShape is null only between the archive's creation
// of the object and its Serialize. Allocated from fw::Arena, like its shape.
class C3dObject : public fw::Object {
public:
    static const fw::RuntimeClass classInfo;
    static constexpr unsigned kSchema = 3;

    C3dObject() = default;
    explicit C3dObject(std::unique_ptr<C3dShape> shape) : m_pShape(std::move(shape)) {}
    ~C3dObject() override = default;

    static void* operator new(std::size_t bytes) { return fw::Arena::allocate(bytes); }
    static void operator delete(void* pointer, std::size_t bytes) noexcept { fw::Arena::deallocate(pointer, bytes); }

    const fw::RuntimeClass* GetRuntimeClass() const override { return &classInfo; }
    void Serialize(fw::Archive& ar) override;

    std::unique_ptr<C3dShape> m_pShape;
    // Where the owning document last knew this object in its list: a hint
    // that CTeskDoc::IndexOf checks before it trusts it. Never stored.
    mutable std::size_t m_nListHint = 0;
};
