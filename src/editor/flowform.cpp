#include "editor/flowform.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QPainter>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QPointer>

#include "editor/mdimain.h"
#include "editor/statementdrag.h"
#include "engine/handover.h"
#include "engine/statement.h"
#include "engine/texts.h"

namespace {
bool has(uint32_t flags, uint32_t f)
{
    return (flags & f) != 0;
}
}  // namespace

// ---- the tree ----

TFlowTreeView::TFlowTreeView(TIVRFlow* flow, QWidget* parent) : TSorvixTreeView(&flow->tree(), parent), flow_(flow)
{
    setIndentation(19);
    // The selection stays visible while the tree has no focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The flow decides what a drag starts and what a drop does; Qt's own item drags stay off.
    setDragEnabled(false);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

FlowNode* TFlowTreeView::nodeAt(int x, int y) const
{
    return TSorvixTreeView::nodeAt(QPoint(x, y));
}

void TFlowTreeView::beginDrag()
{
    FlowNode* node = flow_->tree().selected();
    QPixmap pixmap;
    if (node) pixmap = statementImage(node->image()).pixmap(16, 16);
    StatementDrag::run(this, StatementDrag::treeData(flow_), pixmap);
}

void TFlowTreeView::mousePressEvent(QMouseEvent* event)
{
    TSorvixTreeView::mousePressEvent(event);
    const QPoint p = event->position().toPoint();
    flow_->TreeMouseDown(*this, event->button(), p.x(), p.y());
}

void TFlowTreeView::mouseMoveEvent(QMouseEvent* event)
{
    // With the left button held the flow decides whether a drag starts; the view's own handling
    // would move the selection along under the pointer.
    if (event->buttons() & Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        flow_->TreeMouseMove(*this, p.x(), p.y());
        return;
    }
    TSorvixTreeView::mouseMoveEvent(event);
}

void TFlowTreeView::mouseReleaseEvent(QMouseEvent* event)
{
    TSorvixTreeView::mouseReleaseEvent(event);
    flow_->TreeMouseUp();
}

bool TFlowTreeView::judgeDrag(QDragMoveEvent* event)
{
    const QPoint p = event->position().toPoint();
    const bool accepted =
        flow_->TreeDragOver(*this, StatementDrag::sourceOf(event->mimeData(), flow_), p.x(), p.y(), true);
    setDropTarget(accepted ? indexAt(p) : QModelIndex());
    return accepted;
}

FlowNode* TFlowTreeView::dropTarget() const
{
    return dropTarget_.isValid() ? flowModel()->nodeOf(dropTarget_) : nullptr;
}

void TFlowTreeView::setDropTarget(const QModelIndex& index)
{
    if (index == QModelIndex(dropTarget_)) return;
    const QModelIndex old = dropTarget_;
    dropTarget_ = index;
    if (old.isValid()) viewport()->update(visualRect(old));
    if (index.isValid()) viewport()->update(visualRect(index));
}

void TFlowTreeView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    TSorvixTreeView::drawRow(painter, option, index);
    if (!dropTarget_.isValid() || index != QModelIndex(dropTarget_)) return;
    // The drop target: a tinted, framed row, told apart from the selected one.
    QColor tint = palette().color(QPalette::Active, QPalette::Highlight);
    const QRect row = visualRect(index).adjusted(0, 0, -1, -1);
    QRect frame(option.rect.left(), row.top(), option.rect.width() - 1, row.height());
    frame.setLeft(row.left() - indentation());
    painter->save();
    tint.setAlpha(60);
    painter->fillRect(frame, tint);
    tint.setAlpha(255);
    painter->setPen(QPen(tint, 2));
    painter->drawRect(frame.adjusted(1, 1, 0, 0));
    painter->restore();
}

void TFlowTreeView::dragEnterEvent(QDragEnterEvent* event)
{
    // The tree of a running flow takes no drop at all; otherwise each move is judged.
    if (!StatementDrag::isStatementData(event->mimeData()) || flow_->Running()) {
        event->ignore();
        return;
    }
    judgeDrag(event);
    event->acceptProposedAction();
}

void TFlowTreeView::dragMoveEvent(QDragMoveEvent* event)
{
    if (StatementDrag::isStatementData(event->mimeData()) && judgeDrag(event)) {
        event->acceptProposedAction();
    } else {
        setDropTarget(QModelIndex());
        event->ignore();
    }
}

void TFlowTreeView::dragLeaveEvent(QDragLeaveEvent* event)
{
    setDropTarget(QModelIndex());
    event->accept();
}

void TFlowTreeView::dropEvent(QDropEvent* event)
{
    setDropTarget(QModelIndex());
    if (!StatementDrag::isStatementData(event->mimeData())) {
        event->ignore();
        return;
    }
    const QPoint p = event->position().toPoint();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    flow_->TreeDragDrop(*this, StatementDrag::sourceOf(event->mimeData(), flow_), p.x(), p.y(), ctrl);
    event->acceptProposedAction();
}

// ---- the window ----

TfrmFlow::TfrmFlow(TfrmSorvixEdit* owner, const QString& fileName, QString* error)
    : TSorvixForm(nullptr), owner_(owner)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);

    QString loadError;
    FFlow = new TIVRFlow(this, fileName, true, &loadError);
    if (error) *error = loadError;
    if (!loadError.isEmpty()) return;

    treeView_ = new TFlowTreeView(FFlow, this);
    setCentralWidget(treeView_);
    treeView_->setFocus();
    connect(treeView_, &TSorvixTreeView::OnDblClick, this, [this] { FFlow->TreeDblClick(); });
    if (owner_) {
        connect(treeView_, &QWidget::customContextMenuRequested, this,
                [this](const QPoint& pos) { owner_->popmFlowShow(treeView_->viewport()->mapToGlobal(pos)); });
        FFlow->setDevice(owner_->TAPI3Device);
    }

    // OnPause comes from the runner thread: it is handed to the main thread through the flow, and
    // dropped when the flow (and with it this window) is gone by then.
    FFlow->OnPause = [this, flow = FFlow](bool paused) {
        handOver(flow, [this, paused] { if (owner_) owner_->FlowPaused(paused); });
    };
    FFlow->OnFinish = [this] {
        if (owner_) owner_->FlowFinished();
    };
    FFlow->OnModify = [this](bool modified) { UpdateCaption(modified); };

    if (fileName.isEmpty()) FFlow->FlowName = txt::NewFlow + QString::number(TIVRFlow::NewFlowCounter);
    setWindowTitle(FFlow->FlowName);

    if (owner_) {
        QMdiSubWindow* sub = owner_->mdiArea->addSubWindow(this);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->setWindowIcon(statementImage(0));
        sub->showMaximized();
    }
}

TfrmFlow::~TfrmFlow()
{
    // The view goes before the tree it shows.
    delete treeView_;
    treeView_ = nullptr;
    delete FFlow;
    FFlow = nullptr;
}

void TfrmFlow::UpdateCaption(bool modified)
{
    FFlow->Modified = modified;
    QString caption = FFlow->FlowName;
    if (modified) caption += txt::Modified;
    if (FFlow->Running()) caption += txt::Debugging;
    setWindowTitle(caption);
}

bool TfrmFlow::CanDo(uint32_t s, uint32_t t, int operation)
{
    switch (operation) {
    case 0:
        if (has(s, tfDeclaration)) return !has(t, tfVarRoot);
        if (has(t, tfDeclaration)) return !has(s, tfSwitchArmPlace);
        if (has(t, tfSibling)) return has(t, tfSwitchArmPlace) == has(s, tfSwitchArmPlace);
        return false;
    case 1:
        if (has(s, tfDeclaration)) return has(t, tfDeclaration) && has(t, tfContainer);
        if (has(t, tfDeclaration)) return false;
        if (has(t, tfContainer)) return has(t, tfSwitchContainer) == has(s, tfSwitchArmPlace);
        return false;
    case 2: return has(t, tfDialog);
    case 3: return has(t, tfMovable);
    case 6: return !has(t, tfBeginRoot | tfDeclaration | tfIfBranch | tfCaseArm);
    case 7: return !has(t, tfBeginRoot | tfDeclaration);
    default: return false;
    }
}

FlowNode* TfrmFlow::AddStatement(FlowNode* node, const ClassInfo* statementClass, int code)
{
    return FFlow->AddStatement(node, statementClass, code);
}

void TfrmFlow::AddToFlow(const ClassInfo* k)
{
    // Nothing is added without a selected statement, nor under a running flow's runner.
    FlowNode* n = FFlow->tree().selected();
    if (!k || !n || !n->statement() || FFlow->Running()) return;
    const uint32_t t = n->statement()->GetTypeSet();
    const uint32_t s = k->typeSet;
    if (!CanDo(s, t, 0)) {
        AddToChildFlow(k);
        return;
    }
    if (has(s, tfDeclaration)) {
        if (has(t, tfDeclaration))
            AddStatement(n, k, pcAfter);
        else
            AddStatement(FFlow->VarRoot, k, pcLastChild);
    } else if (has(t, tfDeclaration)) {
        if (!has(s, tfSwitchArmPlace)) AddStatement(FFlow->BeginRoot, k, pcLastChild);
    } else if (has(t, tfSibling)) {
        if (has(t, tfSwitchArmPlace)) {
            if (!has(s, tfSwitchArmPlace)) return;
            // The fixed Default arm stays the last arm.
            AddStatement(n, k, has(t, tfMovable) ? pcAfter : pcBefore);
        } else if (!has(s, tfSwitchArmPlace)) {
            AddStatement(n, k, pcAfter);
        }
    }
}

void TfrmFlow::AddToChildFlow(const ClassInfo* k)
{
    FlowNode* n = FFlow->tree().selected();
    if (!k || !n || !n->statement() || FFlow->Running()) return;
    const uint32_t t = n->statement()->GetTypeSet();
    const uint32_t s = k->typeSet;
    if (CanDo(s, t, 1))
        AddStatement(n, k, pcFirstChild);
    else if (CanDo(s, t, 0))
        AddToFlow(k);
}

void TfrmFlow::ExpandFlow()
{
    FlowTree& tree = FFlow->tree();
    for (FlowNode* n = tree.first(); n; n = n->nextInTree())
        if (n->hasChildren()) tree.setExpanded(n, true);
}

void TfrmFlow::CollapseFlow()
{
    FlowTree& tree = FFlow->tree();
    for (FlowNode* n = tree.first(); n; n = n->nextInTree())
        if (n->hasChildren()) tree.setExpanded(n, false);
}

void TfrmFlow::FormActivate()
{
    if (owner_) owner_->EnablePalette(!FFlow->Running());
}

void TfrmFlow::closeEvent(QCloseEvent* event)
{
    if (closeApproved || !owner_) {
        event->accept();
        return;
    }
    inCloseEvent_ = true;
    const bool closed = owner_->CloseFlow(this);
    inCloseEvent_ = false;
    if (closed)
        event->accept();
    else
        event->ignore();
}
