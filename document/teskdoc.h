#pragma once

#include "framework/core/document.h"
#include "framework/core/positioncache.h"
#include "model/c3dobject.h"

#include <cstddef>
#include <memory>
#include <vector>

// A scene read from its file apart from any scene (CTeskDoc::LoadScene): the
// objects, owned here until a scene adopts them, and the load's outcome.
// Plain data that any thread may make and another may take over.
struct SceneLoad {
    fw::FileLoad file;
    std::vector<std::unique_ptr<C3dObject>> objects;
};

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
// Each change is also announced by signal, for listeners that keep a record
// of the changes (the recovery journal): sceneChanging before it is made,
// then one of objectAdded, objectEdited or objectRemoved once the list
// reflects it, before the views hear of it. Replacing the whole list
// (ReplaceObjects, a load) is not a change and is not announced.
class CTeskDoc : public fw::Document {
    Q_OBJECT

public:
    CTeskDoc();

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

    // The object's position in the list, or -1 when it is not listed.
    // O(1) amortised: each object carries a hint that is checked before use.
    std::ptrdiff_t IndexOf(const C3dObject* object) const;

    // The objects in insertion order. Views may write an object's fields in
    // place and then call ObjectChanged; the list itself changes only
    // through the operations above and ReplaceObjects.
    const std::vector<std::unique_ptr<C3dObject>>& GetObjects() const { return m_objects; }
    // Makes `objects` the whole list (a scene built or recovered elsewhere)
    // and broadcasts a full refresh; the old objects are destroyed after the
    // views have let go of them. The modified flag stays as it is.
    void ReplaceObjects(std::vector<std::unique_ptr<C3dObject>> objects);

    // Reads the scene file at `path` without a scene, on any thread: the
    // load half of OnOpenDocument. `watch` as for fw::Document::LoadFile.
    static SceneLoad LoadScene(const QString& path, fw::ReadWatch* watch = nullptr);
    // The adopt half: takes the objects and the file of `load`, made by
    // LoadScene(path), leaving this scene as OnOpenDocument(path) would have
    // (on failure, unchanged, with the same failure in `error`).
    bool AdoptScene(const QString& path, SceneLoad load, fw::FileError* error);
    bool OnOpenDocument(const QString& path, fw::FileError* error) override;

    void DeleteContents() override;
    void Serialize(fw::Archive& ar) override;
    bool OnCmdMsg(int id, fw::CmdUI* ui) override;

signals:
    void sceneChanging();
    void objectAdded(std::size_t position, const C3dObject* object);
    // Only for a listed object.
    void objectEdited(std::size_t position, const C3dObject* object);
    void objectRemoved(std::size_t position);

private:
    void onAddViewCommand(int) { OnAddView(); }
    // Renews every object's list hint.
    void renewHints() const;

    // Insertion order; owns every object.
    std::vector<std::unique_ptr<C3dObject>> m_objects;
    // Vouches for the objects' list hints (C3dObject::m_nListHint).
    mutable fw::PositionCache m_hints;
};
