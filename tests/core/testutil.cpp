#include "testutil.h"

#include <QFile>
#include <cctype>
#include <gtest/gtest.h>

namespace testutil {

std::string dataPath(std::string_view relative)
{
    return std::string(TESK_TEST_DATA) + "/" + std::string(relative);
}

std::string readBytes(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    return file.readAll().toStdString();
}

void writeBytes(const std::string& path, std::string_view bytes)
{
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path;
    ASSERT_EQ(file.write(bytes.data(), static_cast<qint64>(bytes.size())), static_cast<qint64>(bytes.size()));
}

std::optional<fw::ArchiveError::Cause> load(CTeskDoc& doc, std::string_view bytes)
{
    fw::Archive ar = fw::Archive::forLoading(std::span<const char>(bytes.data(), bytes.size()));
    try {
        doc.Serialize(ar);
    } catch (const fw::ArchiveError& e) {
        return e.cause();
    }
    return std::nullopt;
}

std::string save(CTeskDoc& doc)
{
    fw::Archive ar = fw::Archive::forStoring();
    doc.Serialize(ar);
    return ar.takeBytes();
}

std::string dumpJson(const qbx::ObjectList& objects, std::optional<unsigned> schema)
{
    std::string json;
    qbx::WriteJson(objects, schema, [&json](std::string_view piece) { json += piece; });
    return json;
}

std::unique_ptr<C3dObject> makeObject(std::string_view name, int type, int x, int y, int z, int mode, int colour)
{
    auto shape = std::make_unique<C3dShape>(x, y, z, type);
    shape->SetName(name);
    shape->m_nColourMode = mode;
    shape->m_nColour = colour;
    return std::make_unique<C3dObject>(std::move(shape));
}

std::string identifier(std::string_view label)
{
    std::string name(label);
    for (char& c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

} // namespace testutil
