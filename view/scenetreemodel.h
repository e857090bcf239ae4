#pragma once

#include <QAbstractItemModel>
#include <cstddef>
#include <functional>
#include <vector>

class C3dObject;

// Tags of the five property items under every object item, in their order.
enum PropertyItem : int {
    PROPERTY_X = 1,
    PROPERTY_Y = 2,
    PROPERTY_Z = 3,
    PROPERTY_TYPE = 4,
    PROPERTY_COLOUR = 5,
};

// The two-level tree of one view: one top-level object item per shown
// object, each with the five property items "x: %d", "y: %d", "z: %d",
// "type: %s" and "colour: %s".
//
// Ownership: the objects belong to the document; the model keeps plain
// pointers and must be told (remove, reset) before an object dies.
// Indexes: an object item carries no internal pointer; a property item
// carries its object, so that its parent is found again after rows move.
// Rows: the shown objects in the order of the scene's list, whose
// positions the list-position function answers (-1 for an object not
// listed). Every shown object must be listed whenever the model is asked
// for a row, so a lookup needs no map of its own: an object's row is its
// list position when every object is shown, and is found by a binary search
// over the rows' list positions when a filter left some out.
// The model serves exactly one view, which tells it what is on screen.
// Edits: setData does not change the object; it hands the edited text to
// the edit sink (the view), which writes the object and has the document
// broadcast the change. The labels change when refresh() is called.
// ItemDataRole: an object item answers its C3dObject*, a property item its
// PropertyItem tag. Qt::DecorationRole: the colour item answers a swatch
// (QIcon) of the object's colour, read afresh like its label.
class CSceneTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    static constexpr int ItemDataRole = Qt::UserRole;
    static constexpr int kPropertyCount = 5;

    using EditSink = std::function<void(const QModelIndex& item, const QString& text)>;
    using ListPosition = std::function<std::ptrdiff_t(const C3dObject* object)>;

    explicit CSceneTreeModel(ListPosition listPosition, QObject* parent = nullptr);

    void setEditSink(EditSink sink) { m_editSink = std::move(sink); }

    // Replaces all rows, given in list order (a model reset: every item shows collapsed).
    void reset(std::vector<C3dObject*> objects);
    // Appends the item of an object listed after every shown one; an object
    // already shown is left alone.
    void append(C3dObject* object);
    // Deletes the object's item; false when the object is not shown.
    bool remove(const C3dObject* object);
    // Relabels the object's item, if shown, and its property items when the
    // view shows them (`propertiesShown`, the item is expanded). Property
    // items out of sight are read afresh when the view lays them out, and
    // announcing them would make QTreeView search its whole layout for rows
    // it does not have.
    void refresh(const C3dObject* object, bool propertiesShown);
    // Drops the items whose object fails `keep`, in one pass; the others
    // stay in order with their expanded state and selection.
    void retain(const std::function<bool(const C3dObject*)>& keep);

    std::size_t objectCount() const { return m_rows.size(); }
    // The row of the object's item, or -1 when the object is not shown.
    int rowOf(const C3dObject* object) const;
    QModelIndex objectIndex(const C3dObject* object) const;
    // The object of an item: its own for an object item, its parent's for a property item.
    C3dObject* objectOf(const QModelIndex& item) const;
    // The PropertyItem tag of a property item; 0 for an object item.
    static int propertyOf(const QModelIndex& item);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Asked for every row each time QTreeView lays out its tree; answered
    // here without the base class's rowCount and columnCount round trip.
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    // In list order.
    std::vector<C3dObject*> m_rows;
    ListPosition m_listPosition;
    EditSink m_editSink;
};
