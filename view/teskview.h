#pragma once

#include "framework/core/view.h"

#include <QPersistentModelIndex>
#include <QPixmap>
#include <QTreeView>

class QTimer;

class C3dObject;
class CSceneTreeModel;
class CTeskDoc;

// Which objects a view's tree shows after the last filter command.
enum FilterMode : int {
    FILTER_ALL = 0,     // every object
    FILTER_LISTED = 1,  // objects with a listed colour
    FILTER_USER = 2,    // objects with a user-defined colour
};

// The view of a scene: one window's tree of object items, each with its
// five property items (CSceneTreeModel), and every editing command that
// starts from the tree.
//
// Ownership: created by the document template's view factory and owned by
// the fw::FrameWindow that holds it; it owns its tree model and refers to
// the document's objects without owning them.
// Updates: follows the document's broadcasts item by item (hint 1 appends,
// 2 relabels, 3 deletes the object's item; anything else rebuilds). It
// changes the scene only through CTeskDoc::AddObject, RemoveObject and,
// after writing an object's fields, ObjectChanged; it never relabels its
// own items, the broadcast does that in every view alike.
// Commands (OnCmdMsg, reached through fw::MdiFrameWnd::RouteCommand): the
// three add commands, ID_OBJECT_ADD/DELETE/EDIT and the six filter commands.
// Status text: "Object count: %d" with the number of object items in this
// tree, handed to the main frame's SetStatusText only while this view is the
// active one: after every update, every filter command and on activation.
// Label editing: F2, a click on the selected item (once the double-click
// interval has passed) or a double-click on a property item; Enter or
// leaving the editor applies the text, Escape drops it. A double-click on an
// object item expands or collapses it instead. The colour item opens the
// colour dialog instead of an editor; only one colour dialog runs at a time,
// in all views together, and an edit that begins voids a pending click edit.
// A filter command applies an open edit before it changes the tree.
class CTeskView : public QTreeView, public fw::View {
    Q_OBJECT

public:
    explicit CTeskView(QWidget* parent = nullptr);
    ~CTeskView() override;

    // QAbstractItemView::edit(index) stays public beside the override below.
    using QTreeView::edit;

    CTeskDoc* GetDocument() const;
    // The tree's selected item, or an invalid index when none is selected.
    QModelIndex GetSelectedItem() const;

    void OnUpdate(fw::View* sender, int hint, fw::Object* object) override;
    void OnActivateView(bool activate, fw::View* activated, fw::View* deactivated) override;
    fw::FrameWindow* GetParentFrame() const override;
    bool OnCmdMsg(int id, fw::CmdUI* ui) override;

    // Radio mark of the six filter commands: on for the current m_nFilter.
    virtual void OnUpdateFilterCommand(fw::CmdUI& ui);
    // Delete and edit are enabled exactly while an item is selected.
    virtual void OnUpdateObjectCommand(fw::CmdUI& ui);
    // Opens the colour dialog for the selected item's object.
    virtual void OnEditObject();
    virtual void OnAddSphere();
    virtual void OnAddCube();
    virtual void OnAddStar();
    // A label edit of `item` is starting. Returns true to cancel the editor:
    // the colour item runs the colour dialog instead.
    virtual bool OnBeginLabelEdit(const QModelIndex& item);
    // An edit of `item` was applied with `text`: a name for an object item,
    // a number for x, y, z and type (clamped to 32 bits). Writes the object
    // and announces the change, also when nothing differs.
    virtual void OnEndLabelEdit(const QModelIndex& item, const QString& text);
    // Removes the selected item's object from the scene.
    virtual void OnDeleteObject();
    virtual void OnShowAll();
    virtual void OnShowListed();
    virtual void OnShowUserDefined();
    // Runs the colour dialog for the object of `objectItem`; OK writes the
    // colour and announces the change, Cancel leaves everything as it was.
    virtual void EditObjectColour(const QModelIndex& objectItem);
    virtual void AddObjectItem(C3dObject* object);
    virtual void RemoveObjectItem(const QModelIndex& objectItem);
    virtual void UpdateObjectItem(const QModelIndex& objectItem, C3dObject* object);
    virtual void ShowObjectCount();
    // Shows every object of the document, in list order, all collapsed.
    virtual void FillTree();

    // The filter of the last filter command; a FilterMode.
    int m_nFilter = FILTER_ALL;

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    // Both act on the open editor only: a commit and close that an editor
    // queued (Enter) before it was closed or lost its item are dropped.
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // The Menu key and Shift+F10 ask for the context menu.
    void keyPressEvent(QKeyEvent* event) override;
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
    // Objects appended at the end: a window other than its scene's lead
    // (the active window when it shows the scene, else the scene's first)
    // lays its tree out again two turns of the event loop later, not in the
    // same turn as the lead, so that input is handled between the windows'
    // relayouts of a large scene. Until then it shows the rows it had.
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    // Objects removed: a window other than its scene's lead holds its
    // relayout for the same two turns. QTreeView drops its laid-out rows
    // here, so until then the window paints the picture it showed before
    // the removal; a key, click, wheel or context menu that reaches it
    // first lays the rows out at once, as does a paint after a resize.
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void doItemsLayout() override;
    bool viewportEvent(QEvent* event) override;
    // Shows the object popup menu at `screenPos`.
    virtual void OnContextMenu(const QPoint& screenPos);

private:
    // The selected item's object item (the parent of a property item); invalid when none.
    QModelIndex selectedObjectItem() const;
    // Applies the open label edit, if any, and closes its editor.
    void commitOpenEdit();
    bool isOpenEditor(const QWidget* editor) const;
    void applyFilter(int target);
    // Whether this window puts off relayouts: it is not its scene's lead.
    bool defersRelayout() const;
    // Starts the countdown of two turns that ends in a relayout.
    void deferRelayout();
    // Ends a held relayout now.
    void layOutHeldRows();
    // Shows, all collapsed and in list order, the objects that `filter` admits.
    void rebuild(int filter);
    template <void (CTeskView::*Handler)()>
    void runCommand(int)
    {
        (this->*Handler)();
    }

    CSceneTreeModel* m_pModel;
    // The item of the last editor opened; its editor is open while
    // indexWidget() returns one for it.
    QPersistentModelIndex m_editedItem;
    // A click on the selected item waits here for the double-click interval.
    QTimer* m_pClickEditTimer;
    // Counts down the turns before a relayout that an append or a removal put off.
    QTimer* m_pRelayoutTimer;
    int m_relayoutTurns = 0;
    // Rows were removed and the relayout waits for the countdown.
    bool m_layoutHeld = false;
    // While the relayout is held: the viewport as it was before the removal.
    QPixmap m_heldPicture;
    QPersistentModelIndex m_clickEditItem;
    EditTrigger m_lastTrigger = NoEditTriggers;
};
