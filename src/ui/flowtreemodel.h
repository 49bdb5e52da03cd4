#pragma once

#include <QAbstractItemModel>
#include <QIcon>

#include "engine/flowtree.h"

// The images of the statement tree, by image index (0 closed folder, 1 open folder, ...).
QIcon statementImage(int index);

// An item model over a flow's node tree. It follows every change of the tree as its observer.
class FlowTreeModel : public QAbstractItemModel, public FlowTreeObserver {
    Q_OBJECT
public:
    explicit FlowTreeModel(FlowTree* tree, QObject* parent = nullptr);
    ~FlowTreeModel() override;

    FlowTree* tree() const { return tree_; }
    FlowNode* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(FlowNode* node) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // FlowTreeObserver
    void beginInsert(FlowNode* parent, int row) override;
    void endInsert() override;
    void beginRemove(FlowNode* parent, int row) override;
    void endRemove() override;
    void beginMove(FlowNode* fromParent, int fromRow, FlowNode* toParent, int toRow) override;
    void endMove() override;
    void nodeChanged(FlowNode* node) override;
    void expansionChanged(FlowNode* node) override;
    void selectionChanged(FlowNode* node) override;
    void treeReset() override;

signals:
    void nodeExpansionChanged(const QModelIndex& index, bool expanded);
    void nodeSelected(const QModelIndex& index);

private:
    FlowTree* tree_;
    bool moveAsReset_ = false;
};
