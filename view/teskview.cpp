#include "view/teskview.h"

#include "dialogs/choosecolor.h"
#include "document/commands.h"
#include "document/teskdoc.h"
#include "framework/core/ansi.h"
#include "framework/gui/contrast.h"
#include "framework/gui/framewindow.h"
#include "framework/gui/mdiframewnd.h"
#include "view/labelnumber.h"
#include "view/scenetreemodel.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QScopeGuard>
#include <QStyledItemDelegate>
#include <QTimer>
#include <array>

namespace {

// The default editors, with the label edit's limit of 255 characters.
class LabelEditDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setMaxLength(static_cast<int>(C3dShape::kMaxName));
        return editor;
    }

    // A change to the object from elsewhere relabels the item while its
    // editor is open; what the user has typed there stays.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        if (auto* line = qobject_cast<QLineEdit*>(editor); line && line->isModified())
            return;
        QStyledItemDelegate::setEditorData(editor, index);
    }
};

// The tree's context menu: "Dodaj" (ID_OBJECT_ADD), "Usuń"
// (ID_OBJECT_DELETE) and "Edytuj" (ID_OBJECT_EDIT), each action carrying its
// command id in data(). Right before the menu shows, every action takes its
// enabled state from the main frame's command route; a chosen action runs
// its command along that route, so it reaches the active view like a menu
// command. Without a main frame every action stays disabled. The menu is a
// child of `parent`; the caller deletes it after use.
QMenu* createObjectPopupMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const struct {
        const char16_t* text;
        int id;
    } items[] = {
        {u"Dodaj", ID_OBJECT_ADD},
        {u"Usuń", ID_OBJECT_DELETE},
        {u"Edytuj", ID_OBJECT_EDIT},
    };
    for (const auto& item : items) {
        QAction* action = menu->addAction(QString::fromUtf16(item.text));
        action->setData(item.id);
        QObject::connect(action, &QAction::triggered, menu, [id = item.id] {
            if (fw::MdiFrameWnd* main = fw::MdiFrameWnd::mainFrame())
                main->OnCommand(id);
        });
    }
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] {
        fw::MdiFrameWnd* main = fw::MdiFrameWnd::mainFrame();
        for (QAction* action : menu->actions())
            action->setEnabled(main && main->CommandState(action->data().toInt()).enabled);
    });
    return menu;
}

} // namespace

CTeskView::CTeskView(QWidget* parent)
    : QTreeView(parent)
    , m_pModel(new CSceneTreeModel(
          [this](const C3dObject* object) {
              const CTeskDoc* doc = GetDocument();
              return doc ? doc->IndexOf(object) : std::ptrdiff_t(-1);
          },
          this))
    , m_pClickEditTimer(new QTimer(this))
    , m_pRelayoutTimer(new QTimer(this))
{
    setHeaderHidden(true);
    setRootIsDecorated(true);
    // One row height for all rows keeps layout and scrolling linear in the
    // visible rows, not in the scene.
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked
                    | QAbstractItemView::DoubleClicked);
    setItemDelegate(new LabelEditDelegate(this));
    setModel(m_pModel);
    m_pModel->setEditSink([this](const QModelIndex& item, const QString& text) { OnEndLabelEdit(item, text); });
    m_pClickEditTimer->setObjectName(QStringLiteral("clickEditTimer"));
    m_pClickEditTimer->setSingleShot(true);
    connect(m_pClickEditTimer, &QTimer::timeout, this, [this] {
        if (m_clickEditItem.isValid() && m_clickEditItem == currentIndex())
            edit(m_clickEditItem, AllEditTriggers, nullptr);
    });
    // A zero timer that restarts itself runs once per turn of the event loop.
    m_pRelayoutTimer->setSingleShot(true);
    connect(m_pRelayoutTimer, &QTimer::timeout, this, [this] {
        if (--m_relayoutTurns > 0) {
            m_pRelayoutTimer->start(0);
            return;
        }
        m_layoutHeld = false;
        m_heldPicture = QPixmap();
        scheduleDelayedItemsLayout();
    });
}

CTeskView::~CTeskView()
{
    // An open editor may still commit while the widget tears down.
    m_pModel->setEditSink(nullptr);
}

CTeskDoc* CTeskView::GetDocument() const
{
    Q_ASSERT(!fw::View::GetDocument() || qobject_cast<CTeskDoc*>(fw::View::GetDocument()));
    return static_cast<CTeskDoc*>(fw::View::GetDocument());
}

QModelIndex CTeskView::GetSelectedItem() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QModelIndex() : selected.first();
}

void CTeskView::OnUpdate(fw::View*, int hint, fw::Object* object)
{
    Q_ASSERT(!object || object->GetRuntimeClass() == &C3dObject::classInfo);
    auto* changed = static_cast<C3dObject*>(object);
    switch (hint) {
    case HINT_ADDED:
        if (changed)
            AddObjectItem(changed);
        break;
    case HINT_CHANGED:
        if (const QModelIndex item = m_pModel->objectIndex(changed); item.isValid())
            UpdateObjectItem(item, changed);
        break;
    case HINT_REMOVED:
        if (const QModelIndex item = m_pModel->objectIndex(changed); item.isValid())
            RemoveObjectItem(item);
        break;
    default:
        FillTree();
        break;
    }
    ShowObjectCount();
}

void CTeskView::OnActivateView(bool, fw::View*, fw::View*)
{
    // Only the view that is now active writes the count.
    ShowObjectCount();
}

// The frame holds the view as its sub-window's widget, which is the view's parent.
fw::FrameWindow* CTeskView::GetParentFrame() const { return qobject_cast<fw::FrameWindow*>(parentWidget()); }

bool CTeskView::OnCmdMsg(int id, fw::CmdUI* ui)
{
    using V = CTeskView;
    static constexpr std::array<fw::MessageMapEntry<V>, 12> messageMap = {{
        {ID_ADD_SPHERE, ID_ADD_SPHERE, &V::runCommand<&V::OnAddSphere>, nullptr},
        {ID_ADD_CUBE, ID_ADD_CUBE, &V::runCommand<&V::OnAddCube>, nullptr},
        {ID_ADD_STAR, ID_ADD_STAR, &V::runCommand<&V::OnAddStar>, nullptr},
        {ID_OBJECT_ADD, ID_OBJECT_ADD, &V::runCommand<&V::OnAddSphere>, &V::OnUpdateObjectCommand},
        {ID_OBJECT_DELETE, ID_OBJECT_DELETE, &V::runCommand<&V::OnDeleteObject>, &V::OnUpdateObjectCommand},
        {ID_OBJECT_EDIT, ID_OBJECT_EDIT, &V::runCommand<&V::OnEditObject>, &V::OnUpdateObjectCommand},
        {ID_SHOW_ALL, ID_SHOW_ALL, &V::runCommand<&V::OnShowAll>, &V::OnUpdateFilterCommand},
        {ID_SHOW_LISTED, ID_SHOW_LISTED, &V::runCommand<&V::OnShowListed>, &V::OnUpdateFilterCommand},
        {ID_SHOW_USER, ID_SHOW_USER, &V::runCommand<&V::OnShowUserDefined>, &V::OnUpdateFilterCommand},
        {ID_TB_SHOW_ALL, ID_TB_SHOW_ALL, &V::runCommand<&V::OnShowAll>, &V::OnUpdateFilterCommand},
        {ID_TB_SHOW_LISTED, ID_TB_SHOW_LISTED, &V::runCommand<&V::OnShowListed>, &V::OnUpdateFilterCommand},
        {ID_TB_SHOW_USER, ID_TB_SHOW_USER, &V::runCommand<&V::OnShowUserDefined>, &V::OnUpdateFilterCommand},
    }};
    return fw::dispatchMessageMap<V>(this, messageMap, id, ui);
}

void CTeskView::OnUpdateFilterCommand(fw::CmdUI& ui)
{
    switch (ui.id) {
    case ID_SHOW_ALL:
    case ID_TB_SHOW_ALL: ui.SetRadio(m_nFilter == FILTER_ALL); break;
    case ID_SHOW_LISTED:
    case ID_TB_SHOW_LISTED: ui.SetRadio(m_nFilter == FILTER_LISTED); break;
    case ID_SHOW_USER:
    case ID_TB_SHOW_USER: ui.SetRadio(m_nFilter == FILTER_USER); break;
    default: break;
    }
}

void CTeskView::OnUpdateObjectCommand(fw::CmdUI& ui)
{
    if (ui.id == ID_OBJECT_DELETE || ui.id == ID_OBJECT_EDIT)
        ui.Enable(GetSelectedItem().isValid());
}

QModelIndex CTeskView::selectedObjectItem() const
{
    const QModelIndex item = GetSelectedItem();
    return item.parent().isValid() ? item.parent() : item;
}

void CTeskView::OnEditObject()
{
    if (const QModelIndex item = selectedObjectItem(); item.isValid())
        EditObjectColour(item);
}

void CTeskView::OnAddSphere() { GetDocument()->AddObject(SHAPE_SPHERE); }

void CTeskView::OnAddCube() { GetDocument()->AddObject(SHAPE_CUBE); }

void CTeskView::OnAddStar() { GetDocument()->AddObject(SHAPE_STAR); }

bool CTeskView::OnBeginLabelEdit(const QModelIndex& item)
{
    const QModelIndex parentItem = item.parent();
    if (!parentItem.isValid() || CSceneTreeModel::propertyOf(item) != PROPERTY_COLOUR)
        return false;
    EditObjectColour(parentItem);
    return true;
}

void CTeskView::OnEndLabelEdit(const QModelIndex& item, const QString& text)
{
    C3dObject* object = m_pModel->objectOf(item);
    if (!object)
        return;
    C3dShape& shape = *object->m_pShape;
    // The label edit holds at most 255 characters.
    const QStringView edited = QStringView(text).left(static_cast<qsizetype>(C3dShape::kMaxName));
    if (item.parent().isValid()) {
        switch (CSceneTreeModel::propertyOf(item)) {
        case PROPERTY_X: shape.m_nX = parseLabelNumber(edited); break;
        case PROPERTY_Y: shape.m_nY = parseLabelNumber(edited); break;
        case PROPERTY_Z: shape.m_nZ = parseLabelNumber(edited); break;
        case PROPERTY_TYPE: shape.m_nType = parseLabelNumber(edited); break;
        default: break;
        }
    } else {
        shape.SetName(fw::toAnsi(edited));
    }
    GetDocument()->ObjectChanged(object);
}

void CTeskView::OnDeleteObject()
{
    if (C3dObject* object = m_pModel->objectOf(selectedObjectItem()))
        GetDocument()->RemoveObject(object);
}

void CTeskView::OnShowAll() { applyFilter(FILTER_ALL); }

void CTeskView::OnShowListed() { applyFilter(FILTER_LISTED); }

void CTeskView::OnShowUserDefined() { applyFilter(FILTER_USER); }

void CTeskView::EditObjectColour(const QModelIndex& objectItem)
{
    C3dObject* object = m_pModel->objectOf(objectItem);
    if (!object)
        return;
    // One colour edit at a time, in all views: a second dialog on the same
    // object would write back the colour that the first one replaced.
    static bool running = false;
    if (running)
        return;
    running = true;
    const auto done = qScopeGuard([] { running = false; });
    // This edit has begun: a click edit still waiting must not follow it.
    m_pClickEditTimer->stop();
    // The dialog runs its own event loop, in which the object may leave the
    // scene; its item says whether it is still shown.
    const QPersistentModelIndex shown(objectItem);
    C3dShape& shape = *object->m_pShape;
    CChooseColor dialog(window());
    dialog.m_nColourMode = shape.m_nColourMode;
    dialog.m_nColour = shape.m_nColour;
    if (dialog.DoModal() != QDialog::Accepted)
        return;
    if (m_pModel->objectOf(shown) != object)
        return;
    shape.m_nColourMode = dialog.m_nColourMode;
    shape.m_nColour = dialog.m_nColour;
    GetDocument()->ObjectChanged(object);
}

void CTeskView::AddObjectItem(C3dObject* object) { m_pModel->append(object); }

void CTeskView::RemoveObjectItem(const QModelIndex& objectItem) { m_pModel->remove(m_pModel->objectOf(objectItem)); }

void CTeskView::UpdateObjectItem(const QModelIndex& objectItem, C3dObject* object)
{
    m_pModel->refresh(object, isExpanded(objectItem));
}

void CTeskView::ShowObjectCount()
{
    fw::MdiFrameWnd* main = fw::MdiFrameWnd::mainFrame();
    if (!main || main->GetActiveView() != static_cast<fw::View*>(this))
        return;
    main->SetStatusText(QString::asprintf("Object count: %d", static_cast<int>(m_pModel->objectCount())));
}

void CTeskView::FillTree() { rebuild(FILTER_ALL); }

void CTeskView::rebuild(int filter)
{
    const int admitted = filter == FILTER_LISTED ? COLOUR_LISTED : COLOUR_USER;
    std::vector<C3dObject*> objects;
    if (const CTeskDoc* doc = GetDocument()) {
        // As much room as the scene's list has: an object added later
        // copies the rows no sooner than it copies the list.
        objects.reserve(doc->GetObjects().capacity());
        for (const auto& object : doc->GetObjects()) {
            if (filter == FILTER_ALL || object->m_pShape->m_nColourMode == admitted)
                objects.push_back(object.get());
        }
    }
    m_pModel->reset(std::move(objects));
}

void CTeskView::applyFilter(int target)
{
    // Rebuilding or narrowing the tree would drop an open editor and its text.
    commitOpenEdit();
    // The colour mode that a colour filter leaves out.
    const int opposite = target == FILTER_LISTED ? COLOUR_USER : COLOUR_LISTED;
    if (m_nFilter == FILTER_ALL) {
        // Narrowing from all objects: the others keep their places and state.
        if (target != FILTER_ALL)
            m_pModel->retain([opposite](const C3dObject* object) { return object->m_pShape->m_nColourMode != opposite; });
    } else {
        rebuild(target);
    }
    m_nFilter = target;
    ShowObjectCount();
}

bool CTeskView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    const EditTrigger lastTrigger = m_lastTrigger;
    m_lastTrigger = trigger;
    if (!index.isValid())
        return QTreeView::edit(index, trigger, event);
    switch (trigger) {
    case SelectedClicked:
        // The edit waits for the double-click interval, in a timer of this
        // view that a double-click or any edit that begins meanwhile stops.
        // The release that ends a double-click starts nothing.
        if (lastTrigger == DoubleClicked || state() == EditingState)
            return false;
        m_clickEditItem = index;
        m_pClickEditTimer->start(QApplication::doubleClickInterval());
        return true;
    case DoubleClicked:
        m_pClickEditTimer->stop();
        // An object item keeps the tree's expand and collapse.
        if (!index.parent().isValid())
            return false;
        break;
    case CurrentChanged:
        m_pClickEditTimer->stop();
        break;
    default:
        break;
    }
    const bool starts = trigger == AllEditTriggers || (editTriggers() & trigger);
    if (!starts)
        return QTreeView::edit(index, trigger, event);
    m_pClickEditTimer->stop();
    if (OnBeginLabelEdit(index))
        return true;
    if (!QTreeView::edit(index, trigger, event))
        return false;
    if (indexWidget(index))
        m_editedItem = index;
    return true;
}

bool CTeskView::isOpenEditor(const QWidget* editor) const
{
    return editor && m_editedItem.isValid() && indexWidget(m_editedItem) == editor;
}

void CTeskView::commitData(QWidget* editor)
{
    if (isOpenEditor(editor))
        QTreeView::commitData(editor);
}

void CTeskView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (isOpenEditor(editor))
        QTreeView::closeEditor(editor, hint);
}

void CTeskView::commitOpenEdit()
{
    QWidget* editor = m_editedItem.isValid() ? indexWidget(m_editedItem) : nullptr;
    if (!editor)
        return;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void CTeskView::contextMenuEvent(QContextMenuEvent* event)
{
    QPoint screenPos;
    if (event->reason() == QContextMenuEvent::Mouse) {
        // The popup's commands act on what was clicked.
        const QModelIndex item = indexAt(event->pos());
        if (item.isValid())
            selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
        else
            selectionModel()->clear();
        screenPos = event->globalPos();
    } else {
        // From the keyboard: at the selected item, else the tree's top-left corner.
        const QModelIndex item = GetSelectedItem();
        if (item.isValid())
            scrollTo(item);
        const QRect rect = item.isValid() ? visualRect(item).intersected(viewport()->rect()) : QRect();
        screenPos = viewport()->mapToGlobal(rect.isEmpty() ? QPoint(0, 0) : rect.bottomLeft());
    }
    event->accept();
    OnContextMenu(screenPos);
}

void CTeskView::keyPressEvent(QKeyEvent* event)
{
    const bool menuKey = event->key() == Qt::Key_Menu
                         || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
    layOutHeldRows();
    if (!menuKey) {
        QTreeView::keyPressEvent(event);
        return;
    }
    QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, QPoint(), mapToGlobal(QPoint()), event->modifiers());
    QCoreApplication::sendEvent(this, &menuEvent);
    event->accept();
}

void CTeskView::OnContextMenu(const QPoint& screenPos)
{
    QPointer<QMenu> menu = createObjectPopupMenu(this);
    menu->exec(screenPos);
    delete menu;
}

void CTeskView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    const bool appended = !parent.isValid() && end + 1 == model()->rowCount();
    if (!appended || m_layoutHeld || !defersRelayout()) {
        QTreeView::rowsInserted(parent, start, end);
        return;
    }
    // QTreeView would relayout in the next turn; the rows before stay as laid out.
    QAbstractItemView::rowsInserted(parent, start, end);
    deferRelayout();
}

bool CTeskView::defersRelayout() const
{
    const CTeskDoc* doc = GetDocument();
    if (!doc)
        return false;
    const fw::MdiFrameWnd* main = fw::MdiFrameWnd::mainFrame();
    const fw::View* active = main ? main->GetActiveView() : nullptr;
    const fw::View* lead = active && active->GetDocument() == doc ? active : doc->GetFirstView();
    return lead != static_cast<const fw::View*>(this);
}

void CTeskView::deferRelayout()
{
    // The turn in which the lead window relayouts, then one that handles input.
    m_relayoutTurns = 2;
    m_pRelayoutTimer->start(0);
}

void CTeskView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    if (!parent.isValid() && !m_layoutHeld && defersRelayout()) {
        // The picture of the rows as they are laid out now, before QTreeView drops them.
        m_heldPicture = viewport()->grab();
        m_layoutHeld = true;
        deferRelayout();
    }
    QTreeView::rowsAboutToBeRemoved(parent, start, end);
}

void CTeskView::doItemsLayout()
{
    if (!m_layoutHeld)
        QTreeView::doItemsLayout();
}

void CTeskView::layOutHeldRows()
{
    if (!m_layoutHeld)
        return;
    m_layoutHeld = false;
    m_heldPicture = QPixmap();
    m_pRelayoutTimer->stop();
    m_relayoutTurns = 0;
    // One layout now, none left pending for the next turn.
    scheduleDelayedItemsLayout();
    executeDelayedItemsLayout();
}

bool CTeskView::viewportEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Paint:
        if (m_layoutHeld && !m_heldPicture.isNull() && m_heldPicture.deviceIndependentSize() == QSizeF(viewport()->size())) {
            QPainter painter(viewport());
            painter.drawPixmap(0, 0, m_heldPicture);
            return true;
        }
        layOutHeldRows();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        layOutHeldRows();
        break;
    default:
        break;
    }
    return QTreeView::viewportEvent(event);
}

void CTeskView::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const
{
    // Dotted connector lines and +/- boxes, as a tree control draws them.
    const int indent = indentation();
    const QModelIndex parentItem = index.parent();
    const int level = parentItem.isValid() ? 1 : 0;
    const int midY = rect.top() + rect.height() / 2;
    const int midX = rect.left() + level * indent + indent / 2;
    const bool hasNext = index.row() + 1 < model()->rowCount(parentItem);

    // The style's line colours, made darker or lighter where they would
    // fade into the background (a dark palette's Dark is barely off its Base).
    const QColor base = palette().color(QPalette::Base);
    const QColor text = palette().color(QPalette::Text);
    painter->save();
    painter->setPen(QPen(fw::Contrasting(palette().color(QPalette::Dark), base, text), 0, Qt::DotLine));
    if (level == 1 && parentItem.row() + 1 < model()->rowCount()) {
        const int x = rect.left() + indent / 2;
        painter->drawLine(x, rect.top(), x, rect.bottom());
    }
    const int top = level == 0 && index.row() == 0 ? midY : rect.top();
    painter->drawLine(midX, top, midX, hasNext ? rect.bottom() : midY);
    painter->drawLine(midX, midY, rect.left() + (level + 1) * indent - 2, midY);
    if (level == 0) {
        const QRect box(midX - 4, midY - 4, 8, 8);
        painter->fillRect(box, palette().base());
        painter->setPen(QPen(fw::Contrasting(palette().color(QPalette::Mid), base, text), 0));
        painter->drawRect(box);
        painter->setPen(QPen(palette().color(QPalette::Text), 0));
        painter->drawLine(midX - 2, midY, midX + 2, midY);
        if (!isExpanded(index))
            painter->drawLine(midX, midY - 2, midX, midY + 2);
    }
    painter->restore();
}
