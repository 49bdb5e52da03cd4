#pragma once

#include <QTreeView>
#include <memory>

#include "ui/flowtreemodel.h"

class TIVRFlow;

// The view of a flow's statement tree. A double click only raises doubleClicked(); it never
// expands or collapses a node. Selection and expansion follow the engine's tree both ways.
class TSorvixTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit TSorvixTreeView(FlowTree* tree, QWidget* parent = nullptr);
    ~TSorvixTreeView() override;

    FlowTreeModel* flowModel() const { return model_.get(); }
    FlowNode* nodeAt(const QPoint& pos) const;
    // Re-applies the tree's expansion and selection to the view (after loading).
    void syncFromTree();

signals:
    void OnDblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void applyExpansion(const QModelIndex& index, bool expanded);
    void applySelection(const QModelIndex& index);

    std::unique_ptr<FlowTreeModel> model_;
    bool syncing_ = false;
};
