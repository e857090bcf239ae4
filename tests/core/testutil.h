#pragma once

#include "document/scenejson.h"
#include "document/teskdoc.h"
#include "framework/core/archive.h"

#include <optional>
#include <string>
#include <string_view>

namespace testutil {

// Path of a file under tests/data.
std::string dataPath(std::string_view relative);
// The whole file; fails the calling test when it cannot be read.
std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, std::string_view bytes);

// Loads `bytes` into `doc` the way the editor does; the cause of a refusal,
// or nothing when the scene loaded.
std::optional<fw::ArchiveError::Cause> load(CTeskDoc& doc, std::string_view bytes);
// What saving `doc` writes.
std::string save(CTeskDoc& doc);

// The whole JSON text that qbx::WriteJson writes in pieces.
std::string dumpJson(const qbx::ObjectList& objects, std::optional<unsigned> schema);

// A shape with every field given.
std::unique_ptr<C3dObject> makeObject(std::string_view name, int type, int x, int y, int z, int mode, int colour);

// Names a parameterised test after its case's `label`, in letters, digits and '_'.
std::string identifier(std::string_view label);
struct ByLabel {
    template <typename Info>
    std::string operator()(const Info& test) const
    {
        return identifier(test.param.label);
    }
};

} // namespace testutil
