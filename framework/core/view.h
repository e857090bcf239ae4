#pragma once

#include "framework/core/commandtarget.h"

namespace fw {

class Document;
class FrameWindow;
class Object;

// A presentation of one document. The document keeps a non-owning list of
// its views and calls OnUpdate on each for every broadcast; a view registers
// with Document::AddView and must be removed (Document::RemoveView) before it
// dies. The frame that holds the view owns it.
class View : public CommandTarget {
public:
    ~View() override;

    Document* GetDocument() const { return m_pDocument; }

    // First update after creation: a full refresh (hint 0, no object).
    virtual void OnInitialUpdate() { OnUpdate(nullptr, 0, nullptr); }
    // A broadcast from the document; `hint` and `object` are the document's.
    virtual void OnUpdate(View* sender, int hint, Object* object) = 0;
    // Activation change between views (whether this view gains it, the view
    // that gains it, the view that loses it); the losing view hears first.
    virtual void OnActivateView(bool, View*, View*) {}
    // The frame window holding this view (a GUI object; opaque to the core).
    virtual FrameWindow* GetParentFrame() const = 0;

private:
    friend class Document;
    Document* m_pDocument = nullptr;
};

} // namespace fw
