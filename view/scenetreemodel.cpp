#include "view/scenetreemodel.h"

#include "framework/core/ansi.h"
#include "model/c3dobject.h"
#include "model/shapecolour.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace {

QString propertyLabel(const C3dShape& shape, int tag)
{
    switch (tag) {
    case PROPERTY_X: return QStringLiteral("x: ") + QString::number(shape.m_nX);
    case PROPERTY_Y: return QStringLiteral("y: ") + QString::number(shape.m_nY);
    case PROPERTY_Z: return QStringLiteral("z: ") + QString::number(shape.m_nZ);
    case PROPERTY_TYPE: return QStringLiteral("type: ") + QLatin1String(shape.GetTypeName());
    case PROPERTY_COLOUR: return QStringLiteral("colour: ") + QLatin1String(shape.GetColourText());
    default: return {};
    }
}

// The text an editor of the item starts from: the name, or the bare number.
QString editText(const C3dShape& shape, int tag)
{
    switch (tag) {
    case 0: return fw::fromAnsi(shape.m_szName);
    case PROPERTY_X: return QString::number(shape.m_nX);
    case PROPERTY_Y: return QString::number(shape.m_nY);
    case PROPERTY_Z: return QString::number(shape.m_nZ);
    case PROPERTY_TYPE: return QString::number(shape.GetType());
    default: return propertyLabel(shape, tag);
    }
}

// The colour item's swatch: a square of the shape's colour with a grey frame,
// so that white shows on a white tree; none for a colour without RGB. The
// same pixmap serves a selected item, which would otherwise tint it.
QVariant colourSwatch(const C3dShape& shape)
{
    const std::optional<std::uint32_t> rgb = ShownRgb(shape);
    if (!rgb)
        return {};
    constexpr int kSize = 16;
    QPixmap swatch(kSize, kSize);
    swatch.fill(Qt::transparent);
    QPainter painter(&swatch);
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.setBrush(QColor::fromRgb(*rgb));
    painter.drawRect(2, 2, kSize - 5, kSize - 5);
    painter.end();
    QIcon icon(swatch);
    icon.addPixmap(swatch, QIcon::Selected);
    return icon;
}

} // namespace

CSceneTreeModel::CSceneTreeModel(ListPosition listPosition, QObject* parent)
    : QAbstractItemModel(parent)
    , m_listPosition(std::move(listPosition))
{
}

void CSceneTreeModel::reset(std::vector<C3dObject*> objects)
{
    beginResetModel();
    m_rows = std::move(objects);
    endResetModel();
}

void CSceneTreeModel::append(C3dObject* object)
{
    if (rowOf(object) >= 0)
        return;
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.push_back(object);
    endInsertRows();
}

bool CSceneTreeModel::remove(const C3dObject* object)
{
    const int row = rowOf(object);
    if (row < 0)
        return false;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    return true;
}

void CSceneTreeModel::refresh(const C3dObject* object, bool propertiesShown)
{
    const QModelIndex item = objectIndex(object);
    if (!item.isValid())
        return;
    emit dataChanged(item, item);
    if (propertiesShown)
        emit dataChanged(index(0, 0, item), index(kPropertyCount - 1, 0, item));
}

void CSceneTreeModel::retain(const std::function<bool(const C3dObject*)>& keep)
{
    const std::size_t count = m_rows.size();
    std::vector<int> newRow(count, -1);
    std::vector<C3dObject*> kept;
    kept.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (keep(m_rows[i])) {
            newRow[i] = static_cast<int>(kept.size());
            kept.push_back(m_rows[i]);
        }
    }
    if (kept.size() == count)
        return;

    emit layoutAboutToBeChanged();
    // Follow every persistent index (expanded items, selection, current item)
    // to its item's new row; those of dropped items become invalid.
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& item : from) {
        if (!item.internalPointer()) {
            const int row = newRow[static_cast<std::size_t>(item.row())];
            to.append(row < 0 ? QModelIndex() : createIndex(row, 0));
            continue;
        }
        const int parentRow = rowOf(static_cast<const C3dObject*>(item.internalPointer()));
        const bool gone = parentRow < 0 || newRow[static_cast<std::size_t>(parentRow)] < 0;
        to.append(gone ? QModelIndex() : item);
    }
    m_rows = std::move(kept);
    changePersistentIndexList(from, to);
    emit layoutChanged();
}

int CSceneTreeModel::rowOf(const C3dObject* object) const
{
    const std::ptrdiff_t position = object ? m_listPosition(object) : -1;
    if (position < 0)
        return -1;
    const auto listed = static_cast<std::size_t>(position);
    if (listed < m_rows.size() && m_rows[listed] == object)
        return static_cast<int>(listed);
    // Some objects before it are not shown: its row is below its position.
    const auto end = m_rows.begin() + static_cast<std::ptrdiff_t>(std::min(listed, m_rows.size()));
    const auto found = std::lower_bound(m_rows.begin(), end, position, [this](const C3dObject* row, std::ptrdiff_t at) {
        return m_listPosition(row) < at;
    });
    return found != end && *found == object ? static_cast<int>(found - m_rows.begin()) : -1;
}

QModelIndex CSceneTreeModel::objectIndex(const C3dObject* object) const
{
    const int row = rowOf(object);
    return row < 0 ? QModelIndex() : createIndex(row, 0);
}

C3dObject* CSceneTreeModel::objectOf(const QModelIndex& item) const
{
    if (!item.isValid() || item.model() != this)
        return nullptr;
    if (item.internalPointer())
        return static_cast<C3dObject*>(item.internalPointer());
    const auto row = static_cast<std::size_t>(item.row());
    return row < m_rows.size() ? m_rows[row] : nullptr;
}

int CSceneTreeModel::propertyOf(const QModelIndex& item)
{
    return item.isValid() && item.internalPointer() ? item.row() + 1 : 0;
}

QModelIndex CSceneTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column != 0)
        return {};
    if (!parent.isValid())
        return static_cast<std::size_t>(row) < m_rows.size() ? createIndex(row, 0) : QModelIndex();
    if (parent.internalPointer() || parent.column() != 0 || row >= kPropertyCount)
        return {};
    const auto parentRow = static_cast<std::size_t>(parent.row());
    return parentRow < m_rows.size() ? createIndex(row, 0, m_rows[parentRow]) : QModelIndex();
}

QModelIndex CSceneTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || !child.internalPointer())
        return {};
    return objectIndex(static_cast<const C3dObject*>(child.internalPointer()));
}

int CSceneTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return static_cast<int>(m_rows.size());
    return parent.internalPointer() || parent.column() != 0 ? 0 : kPropertyCount;
}

int CSceneTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool CSceneTreeModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return !m_rows.empty();
    return !parent.internalPointer() && parent.column() == 0;
}

QVariant CSceneTreeModel::data(const QModelIndex& index, int role) const
{
    const C3dObject* object = objectOf(index);
    if (!object)
        return {};
    const C3dShape& shape = *object->m_pShape;
    const int tag = propertyOf(index);
    switch (role) {
    case Qt::DisplayRole:
        return tag == 0 ? fw::fromAnsi(shape.m_szName) : propertyLabel(shape, tag);
    case Qt::EditRole:
        return editText(shape, tag);
    case Qt::DecorationRole:
        return tag == PROPERTY_COLOUR ? colourSwatch(shape) : QVariant();
    case ItemDataRole:
        return tag == 0 ? QVariant::fromValue(const_cast<C3dObject*>(object)) : QVariant(tag);
    default:
        return {};
    }
}

Qt::ItemFlags CSceneTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    if (index.internalPointer())
        flags |= Qt::ItemNeverHasChildren;
    return flags;
}

bool CSceneTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !objectOf(index) || !m_editSink)
        return false;
    m_editSink(index, value.toString());
    return true;
}
