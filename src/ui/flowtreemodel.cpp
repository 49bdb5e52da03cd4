#include "ui/flowtreemodel.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

QIcon statementImage(int index)
{
    static QHash<int, QIcon> cache;
    if (auto it = cache.find(index); it != cache.end()) return *it;
    QIcon icon;
    if (index == 0 || index == 1) {
        icon = QApplication::style()->standardIcon(index == 0 ? QStyle::SP_DirClosedIcon : QStyle::SP_DirOpenIcon);
    } else {
        // A small coloured tile per image of the statement families.
        static const char* const letters = "??O?SITFSCWGLFRVDRACPRSD";
        const QColor colour = QColor::fromHsv((index * 47) % 360, 150, 200);
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(colour);
        p.setPen(colour.darker(150));
        p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
        p.setPen(Qt::white);
        QFont f = p.font();
        f.setPixelSize(10);
        f.setBold(true);
        p.setFont(f);
        const char letter = index < int(strlen(letters)) ? letters[index] : '?';
        p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString(QLatin1Char(letter)));
        p.end();
        icon = QIcon(pixmap);
    }
    cache.insert(index, icon);
    return icon;
}

FlowTreeModel::FlowTreeModel(FlowTree* tree, QObject* parent) : QAbstractItemModel(parent), tree_(tree)
{
    tree_->setObserver(this);
}

FlowTreeModel::~FlowTreeModel()
{
    if (tree_ && tree_->observer() == this) tree_->setObserver(nullptr);
}

FlowNode* FlowTreeModel::nodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<FlowNode*>(index.internalPointer()) : nullptr;
}

QModelIndex FlowTreeModel::indexOf(FlowNode* node) const
{
    return node ? createIndex(node->row(), 0, node) : QModelIndex();
}

QModelIndex FlowTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0) return {};
    FlowNode* p = nodeOf(parent);
    if (!p) return row < tree_->topLevelCount() ? createIndex(row, 0, tree_->topLevel(row)) : QModelIndex();
    return row < p->childCount() ? createIndex(row, 0, p->child(row)) : QModelIndex();
}

QModelIndex FlowTreeModel::parent(const QModelIndex& child) const
{
    FlowNode* n = nodeOf(child);
    return n ? indexOf(n->parent()) : QModelIndex();
}

int FlowTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0) return 0;
    FlowNode* p = nodeOf(parent);
    return p ? p->childCount() : tree_->topLevelCount();
}

int FlowTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant FlowTreeModel::data(const QModelIndex& index, int role) const
{
    FlowNode* n = nodeOf(index);
    if (!n) return {};
    switch (role) {
    case Qt::DisplayRole: return n->text();
    case Qt::DecorationRole: return statementImage(n->image());
    default: return {};
    }
}

Qt::ItemFlags FlowTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

void FlowTreeModel::beginInsert(FlowNode* parent, int row)
{
    beginInsertRows(indexOf(parent), row, row);
}

void FlowTreeModel::endInsert()
{
    endInsertRows();
}

void FlowTreeModel::beginRemove(FlowNode* parent, int row)
{
    beginRemoveRows(indexOf(parent), row, row);
}

void FlowTreeModel::endRemove()
{
    endRemoveRows();
}

void FlowTreeModel::beginMove(FlowNode* fromParent, int fromRow, FlowNode* toParent, int toRow)
{
    moveAsReset_ = !beginMoveRows(indexOf(fromParent), fromRow, fromRow, indexOf(toParent), toRow);
    if (moveAsReset_) beginResetModel();
}

void FlowTreeModel::endMove()
{
    if (moveAsReset_)
        endResetModel();
    else
        endMoveRows();
    moveAsReset_ = false;
}

void FlowTreeModel::nodeChanged(FlowNode* node)
{
    const QModelIndex i = indexOf(node);
    emit dataChanged(i, i, {Qt::DisplayRole, Qt::DecorationRole});
}

void FlowTreeModel::expansionChanged(FlowNode* node)
{
    emit nodeExpansionChanged(indexOf(node), node->expanded());
}

void FlowTreeModel::selectionChanged(FlowNode* node)
{
    emit nodeSelected(indexOf(node));
}

void FlowTreeModel::treeReset()
{
    beginResetModel();
    endResetModel();
}
