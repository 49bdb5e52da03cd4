#pragma once

#include <cstdint>

#include "ui/sorvixform.h"
#include "ui/sorvixtreeview.h"
#include "engine/flow.h"

class TfrmSorvixEdit;
class QMenu;
struct ClassInfo;

// The tree of a flow window: the flow decides what the mouse and drops do; Qt's own item drags
// and moves stay off.
class TFlowTreeView : public TSorvixTreeView, public FlowViewPort {
    Q_OBJECT
public:
    TFlowTreeView(TIVRFlow* flow, QWidget* parent);

    TIVRFlow* flow() const { return flow_; }

    // FlowViewPort
    FlowNode* nodeAt(int x, int y) const override;
    void beginDrag() override;

    // The node a drop would go to while a drag is over the tree (drawn highlighted), else null.
    FlowNode* dropTarget() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    bool judgeDrag(QDragMoveEvent* event);
    void setDropTarget(const QModelIndex& index);

    QPersistentModelIndex dropTarget_;

    TIVRFlow* flow_;
};

// The MDI child window that holds one flow.
class TfrmFlow : public TSorvixForm {
    Q_OBJECT
public:
    // fileName empty: a new flow. On return *error is empty, or the load error; then the window is
    // only half set up and the caller shows the text and closes it.
    TfrmFlow(TfrmSorvixEdit* owner, const QString& fileName, QString* error);
    ~TfrmFlow() override;

    TIVRFlow* FFlow = nullptr;
    TFlowTreeView* treeView() const { return treeView_; }

    // Handler of the flow's OnModify; also refreshes the marks of the caption.
    void UpdateCaption(bool modified);
    // Adds a statement of the class relative to the selected node, by the placement rules.
    void AddToFlow(const ClassInfo* statementClass);
    void AddToChildFlow(const ClassInfo* statementClass);
    FlowNode* AddStatement(FlowNode* node, const ClassInfo* statementClass, int code);
    // The editor's permission matrix. source: role flags of the class to add (0 without one);
    // target: those of the selected statement; operation 0 add after, 1 add as first child,
    // 2 properties, 3 delete, 6 breakpoint, 7 disable.
    static bool CanDo(uint32_t source, uint32_t target, int operation);
    // Expand or collapse every node, all levels.
    void ExpandFlow();
    void CollapseFlow();
    // The window became the active flow window.
    void FormActivate();

    // Set by the main window while it closes this window.
    bool closeApproved = false;
    bool closing = false;
    bool inCloseEvent() const { return inCloseEvent_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TfrmSorvixEdit* owner_;
    TFlowTreeView* treeView_ = nullptr;
    bool inCloseEvent_ = false;
};
