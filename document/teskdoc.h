#pragma once

#include "framework/core/document.h"
#include "model/c3dobject.h"

#include <memory>
#include <vector>

// The hint that every broadcast of a scene carries.
enum UpdateHint : int {
    HINT_REFRESH = 0,  // full refresh, no object
    HINT_ADDED = 1,    // object appended, already listed
    HINT_CHANGED = 2,  // object's fields changed in place
    HINT_REMOVED = 3,  // object about to be removed, still listed and alive
};

// The scene: the ordered list of objects one file holds, their only owner,
// and the only place where objects are created, changed or destroyed.
//
// Every change sets the modified flag and is broadcast to all views with the
// object concerned: AddObject after appending (hint 1), ObjectChanged after a
// view wrote an object's fields (hint 2), RemoveObject before unlinking and
// destroying (hint 3). Views hold plain pointers to the objects and must drop
// them when hint 3 arrives.
class CTeskDoc : public fw::Document {
    Q_OBJECT

public:
    CTeskDoc() = default;
    ~CTeskDoc() override;

    // Opens another window on this scene (the "Add view" command).
    virtual void OnAddView();
    // Appends a new object of `type` (1 sphere, 2 cube, 3 star) at 0, 0, 0,
    // listed red, with the type's default name. Another type is rejected:
    // nothing changes and null is returned.
    virtual C3dObject* AddObject(int type);
    virtual void ObjectChanged(C3dObject* object);
    // Broadcasts the removal, then unlinks and destroys `object`. An object
    // that is not listed is left alone: the scene does not own it.
    virtual void RemoveObject(C3dObject* object);

    void DeleteContents() override;
    void Serialize(fw::Archive& ar) override;
    bool OnCmdMsg(int id, fw::CmdUI* ui) override;

    // Insertion order; owns every object.
    std::vector<std::unique_ptr<C3dObject>> m_objects;

private:
    void onAddViewCommand(int) { OnAddView(); }
};
