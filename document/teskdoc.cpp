#include "document/teskdoc.h"

#include "document/commands.h"
#include "framework/core/archive.h"
#include "framework/core/doctemplate.h"
#include "framework/core/view.h"

#include <algorithm>
#include <array>

CTeskDoc::~CTeskDoc() = default;

void CTeskDoc::OnAddView()
{
    fw::View* first = GetFirstView();
    fw::DocTemplate* docTemplate = GetDocTemplate();
    if (!first || !docTemplate)
        return;
    fw::FrameWindow* frame = docTemplate->CreateNewFrame(this, first->GetParentFrame());
    if (frame)
        docTemplate->InitialUpdateFrame(frame, this, true);
}

C3dObject* CTeskDoc::AddObject(int type)
{
    if (type != SHAPE_SPHERE && type != SHAPE_CUBE && type != SHAPE_STAR)
        return nullptr;
    auto object = std::make_unique<C3dObject>(std::make_unique<C3dShape>(0, 0, 0, type));
    C3dObject* added = object.get();
    m_objects.push_back(std::move(object));
    SetModifiedFlag();
    UpdateAllViews(nullptr, HINT_ADDED, added);
    return added;
}

void CTeskDoc::ObjectChanged(C3dObject* object)
{
    SetModifiedFlag();
    UpdateAllViews(nullptr, HINT_CHANGED, object);
}

void CTeskDoc::RemoveObject(C3dObject* object)
{
    SetModifiedFlag();
    UpdateAllViews(nullptr, HINT_REMOVED, object);
    const auto it = std::find_if(m_objects.begin(), m_objects.end(),
                                 [object](const std::unique_ptr<C3dObject>& listed) { return listed.get() == object; });
    // An object the scene does not list is not the scene's to destroy.
    if (it != m_objects.end())
        m_objects.erase(it);
}

void CTeskDoc::DeleteContents()
{
    m_objects.clear();
    fw::Document::DeleteContents();
}

void CTeskDoc::Serialize(fw::Archive& ar)
{
    if (ar.IsStoring()) {
        // Name prefix and bytes plus six integers: about 40 bytes a record.
        ar.Reserve(16 + m_objects.size() * 40);
        ar.StoreList(m_objects);
    } else {
        ar.LoadList(m_objects);
    }
}

bool CTeskDoc::OnCmdMsg(int id, fw::CmdUI* ui)
{
    static constexpr std::array<fw::MessageMapEntry<CTeskDoc>, 1> messageMap = {{
        {ID_ADD_VIEW, ID_ADD_VIEW, &CTeskDoc::onAddViewCommand, nullptr},
    }};
    return fw::dispatchMessageMap<CTeskDoc>(this, messageMap, id, ui);
}
