// The scene file that the scene benchmarks share: a million objects (or
// what the benchmark's argument says) of every type, position and colour
// kind, written once per process through the document's own save.
#pragma once

#include "document/teskdoc.h"

#include <QFile>
#include <QString>
#include <benchmark/benchmark.h>
#include <memory>
#include <unistd.h>

namespace benchscene {

// A scene file in /tmp for this process, removed at exit.
class SceneFile {
public:
    SceneFile()
        : m_path(QStringLiteral("/tmp/tesk-core-bench-%1.qbx").arg(::getpid()))
    {
    }
    ~SceneFile() { QFile::remove(m_path); }
    const QString& path() const { return m_path; }

private:
    QString m_path;
};

inline const QString& scenePath()
{
    static const SceneFile file;
    return file.path();
}

// A scene of `count` objects of every type, position and colour kind.
inline std::unique_ptr<CTeskDoc> makeScene(std::int64_t count)
{
    std::vector<std::unique_ptr<C3dObject>> objects;
    objects.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        const auto n = static_cast<std::int32_t>(i);
        auto shape = std::make_unique<C3dShape>(n, -n, n / 2, static_cast<std::int32_t>(i % 3) + 1);
        shape->m_nColourMode = n % 2;
        shape->m_nColour = n % 2 ? C3dShape::Rgb(n, n >> 8, n >> 16) : n % 3;
        objects.push_back(std::make_unique<C3dObject>(std::move(shape)));
    }
    auto doc = std::make_unique<CTeskDoc>();
    doc->ReplaceObjects(std::move(objects));
    return doc;
}

// Makes sure the scene file holds `count` objects.
inline bool prepareSceneFile(benchmark::State& state)
{
    static std::int64_t written = -1;
    if (written == state.range(0))
        return true;
    fw::FileError error;
    if (!makeScene(state.range(0))->OnSaveDocument(scenePath(), &error)) {
        state.SkipWithError(error.reason.toStdString().c_str());
        return false;
    }
    written = state.range(0);
    return true;
}

} // namespace benchscene
