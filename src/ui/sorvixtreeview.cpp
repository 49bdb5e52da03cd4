#include "ui/sorvixtreeview.h"

#include <QHeaderView>
#include <QMouseEvent>

#include "ui/sorvixform.h"

TSorvixTreeView::TSorvixTreeView(FlowTree* tree, QWidget* parent)
    : QTreeView(parent), model_(std::make_unique<FlowTreeModel>(tree))
{
    setFont(languageFont());
    setModel(model_.get());
    setHeaderHidden(true);
    setExpandsOnDoubleClick(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragDropMode(QAbstractItemView::NoDragDrop);  // the flow decides what a drop does
    setUniformRowHeights(true);

    connect(model_.get(), &FlowTreeModel::nodeExpansionChanged, this, &TSorvixTreeView::applyExpansion);
    connect(model_.get(), &FlowTreeModel::nodeSelected, this, &TSorvixTreeView::applySelection);
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& i) {
        if (!syncing_) model_->tree()->setExpanded(model_->nodeOf(i), true);
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& i) {
        if (!syncing_) model_->tree()->setExpanded(model_->nodeOf(i), false);
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (!syncing_) model_->tree()->select(model_->nodeOf(current));
    });
    // Rows inserted below an expanded node show the node's expansion state.
    connect(model_.get(), &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent, int first, int last) {
        for (int r = first; r <= last; ++r) {
            const QModelIndex i = model_->index(r, 0, parent);
            if (FlowNode* n = model_->nodeOf(i)) applyExpansion(i, n->expanded());
        }
    });
    connect(model_.get(), &QAbstractItemModel::modelReset, this, &TSorvixTreeView::syncFromTree);
    syncFromTree();
}

TSorvixTreeView::~TSorvixTreeView()
{
    setModel(nullptr);
}

FlowNode* TSorvixTreeView::nodeAt(const QPoint& pos) const
{
    return model_->nodeOf(indexAt(pos));
}

void TSorvixTreeView::syncFromTree()
{
    FlowTree* tree = model_->tree();
    for (FlowNode* n = tree->first(); n; n = n->nextInTree()) applyExpansion(model_->indexOf(n), n->expanded());
    applySelection(model_->indexOf(tree->selected()));
}

void TSorvixTreeView::applyExpansion(const QModelIndex& index, bool expanded)
{
    if (!index.isValid() || isExpanded(index) == expanded) return;
    syncing_ = true;
    setExpanded(index, expanded);
    syncing_ = false;
}

void TSorvixTreeView::applySelection(const QModelIndex& index)
{
    syncing_ = true;
    if (index.isValid()) {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        scrollTo(index);
    } else {
        selectionModel()->clearSelection();
    }
    syncing_ = false;
}

void TSorvixTreeView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) emit OnDblClick();
    event->accept();
}
