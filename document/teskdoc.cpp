#include "document/teskdoc.h"

#include "document/commands.h"
#include "framework/core/archive.h"
#include "framework/core/doctemplate.h"
#include "framework/core/view.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

// Removals a hint may lag behind before the hints behind them are renewed.
constexpr std::size_t kMaxStaleHints = 64;

} // namespace

CTeskDoc::CTeskDoc()
    : m_hints(kMaxStaleHints)
{
}

void CTeskDoc::OnAddView()
{
    fw::View* first = GetFirstView();
    fw::DocTemplate* docTemplate = GetDocTemplate();
    if (!first || !docTemplate)
        return;
    fw::FrameWindow* frame = docTemplate->CreateNewFrame(this, first->GetParentFrame());
    if (frame)
        docTemplate->InitialUpdateFrame(frame, this);
}

C3dObject* CTeskDoc::AddObject(int type)
{
    if (type != SHAPE_SPHERE && type != SHAPE_CUBE && type != SHAPE_STAR)
        return nullptr;
    auto object = std::make_unique<C3dObject>(std::make_unique<C3dShape>(0, 0, 0, type));
    C3dObject* added = object.get();
    emit sceneChanging();
    added->m_nListHint = m_objects.size();
    m_objects.push_back(std::move(object));
    SetModifiedFlag();
    emit objectAdded(added->m_nListHint, added);
    UpdateAllViews(nullptr, HINT_ADDED, added);
    return added;
}

void CTeskDoc::ObjectChanged(C3dObject* object)
{
    emit sceneChanging();
    if (const std::ptrdiff_t index = IndexOf(object); index >= 0)
        emit objectEdited(static_cast<std::size_t>(index), object);
    SetModifiedFlag();
    UpdateAllViews(nullptr, HINT_CHANGED, object);
}

void CTeskDoc::RemoveObject(C3dObject* object)
{
    emit sceneChanging();
    SetModifiedFlag();
    UpdateAllViews(nullptr, HINT_REMOVED, object);
    const std::ptrdiff_t index = IndexOf(object);
    // An object the scene does not list is not the scene's to destroy.
    if (index < 0)
        return;
    const auto position = static_cast<std::size_t>(index);
    m_objects.erase(m_objects.begin() + index);
    m_hints.Removed(position, m_objects.size(), [this](std::size_t i) { m_objects[i]->m_nListHint = i; });
    emit objectRemoved(position);
}

std::ptrdiff_t CTeskDoc::IndexOf(const C3dObject* object) const
{
    if (!object || m_objects.empty())
        return -1;
    const std::ptrdiff_t found = m_hints.Find(m_objects.size(), object->m_nListHint,
                                              [&](std::size_t i) { return m_objects[i].get() == object; });
    if (found >= 0) {
        object->m_nListHint = static_cast<std::size_t>(found);
        return found;
    }
    // A list filled or reordered by other means (a load): renew every hint.
    renewHints();
    if (object->m_nListHint < m_objects.size() && m_objects[object->m_nListHint].get() == object)
        return static_cast<std::ptrdiff_t>(object->m_nListHint);
    return -1;
}

void CTeskDoc::renewHints() const
{
    m_hints.Renew(0, m_objects.size(), [this](std::size_t i) { m_objects[i]->m_nListHint = i; });
}

void CTeskDoc::ReplaceObjects(std::vector<std::unique_ptr<C3dObject>> objects)
{
    const std::vector<std::unique_ptr<C3dObject>> replaced = std::exchange(m_objects, std::move(objects));
    renewHints();
    UpdateAllViews(nullptr, HINT_REFRESH);
}

SceneLoad CTeskDoc::LoadScene(const QString& path, fw::ReadWatch* watch)
{
    SceneLoad load;
    load.file = LoadFile(path, [&load](fw::Archive& ar) { ar.LoadList(load.objects); }, watch);
    // The list hints come with the objects, so that no lookup after the
    // adoption has to renew them all on the GUI thread.
    for (std::size_t i = 0; i < load.objects.size(); ++i)
        load.objects[i]->m_nListHint = i;
    return load;
}

bool CTeskDoc::AdoptScene(const QString& path, SceneLoad load, fw::FileError* error)
{
    // The objects first, as a load through Serialize replaces them before
    // the path and the modified flag change.
    if (load.file.ok)
        m_objects = std::move(load.objects);
    return AdoptFile(path, load.file, error);
}

bool CTeskDoc::OnOpenDocument(const QString& path, fw::FileError* error) { return AdoptScene(path, LoadScene(path), error); }

void CTeskDoc::DeleteContents()
{
    m_objects.clear();
    fw::Document::DeleteContents();
}

void CTeskDoc::Serialize(fw::Archive& ar)
{
    if (ar.IsStoring())
        ar.StoreList(m_objects);
    else
        ar.LoadList(m_objects);
}

bool CTeskDoc::OnCmdMsg(int id, fw::CmdUI* ui)
{
    static constexpr std::array<fw::MessageMapEntry<CTeskDoc>, 1> messageMap = {{
        {ID_ADD_VIEW, ID_ADD_VIEW, &CTeskDoc::onAddViewCommand, nullptr},
    }};
    return fw::dispatchMessageMap<CTeskDoc>(this, messageMap, id, ui);
}
