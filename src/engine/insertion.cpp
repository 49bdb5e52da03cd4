// Statement insertion, moving, and the mouse and drop rules of the flow tree.
#include "engine/flow.h"

#include "engine/statement.h"
#include "engine/statements/declarations.h"
#include "engine/statements/flowcontrol.h"
#include "engine/texts.h"

#include <cstdlib>

namespace {
bool has(uint32_t flags, uint32_t f)
{
    return (flags & f) != 0;
}

uint32_t flagsOf(const FlowNode* node)
{
    return node && node->statement() ? node->statement()->GetTypeSet() : 0;
}

// Gives a new declaration the first free name prefix + counter; the counter keeps the number used.
template <class Decl>
void nameDeclaration(const TIVRFlow& flow, Decl* decl, const QString& prefix, int kind, int& counter)
{
    while (flow.NameExists(prefix + QString::number(counter), kind, decl)) ++counter;
    decl->Name = prefix + QString::number(counter);
}
}  // namespace

// Puts a statement's node at the position code relative to node. Sibling positions need a
// parent: roots never get siblings.
FlowNode* TIVRFlow::insertStatement(FlowNode* node, std::unique_ptr<TIVRBase> statement, const QString& text,
                                    int code)
{
    FlowNode* parent = node->parent();
    switch (code) {
    case pcLastSibling: return parent ? tree_.addLast(parent, std::move(statement), text) : nullptr;
    case pcFirstSibling: return parent ? tree_.addFirst(parent, std::move(statement), text) : nullptr;
    case pcLastChild: return tree_.addLast(node, std::move(statement), text);
    case pcFirstChild:
        if (node == VarRoot && node->firstChild()) {
            // Declarations never go before the result variable, the first child of the root.
            if (FlowNode* second = node->firstChild()->nextSibling())
                return tree_.insertBefore(second, std::move(statement), text);
            return tree_.addLast(node, std::move(statement), text);
        }
        return tree_.addFirst(node, std::move(statement), text);
    case pcBefore: return parent ? tree_.insertBefore(node, std::move(statement), text) : nullptr;
    case pcAfter: return parent ? tree_.insertAt(parent, node->row() + 1, std::move(statement), text) : nullptr;
    default: return nullptr;
    }
}

FlowNode* TIVRFlow::AddStatement(FlowNode* node, const ClassInfo* statementClass, int code)
{
    if (!node || node->tree() != &tree_) return nullptr;
    tree_.select(node);
    if (!statementClass || code < pcLastSibling || code > pcAfter) return nullptr;
    const bool sibling = code == pcLastSibling || code == pcFirstSibling || code == pcBefore || code == pcAfter;
    if (sibling && !node->parent()) return nullptr;

    std::unique_ptr<TIVRBase> owned(statementClass->create(this));
    TIVRBase* x = owned.get();
    FlowNode* added = insertStatement(node, std::move(owned), statementClass->GetTypeName(), code);
    if (!added) return nullptr;

    const uint32_t f = statementClass->typeSet;
    if (has(f, tfVariable)) {
        auto* v = static_cast<IVRVariant*>(x);
        AddVariant(v);
        nameDeclaration(*this, v, txt::NewVariant, 0, NextVariantNumber);
    }
    if (has(f, tfDataBase)) {
        auto* d = static_cast<IVRDataBase*>(x);
        AddDataBase(d);
        nameDeclaration(*this, d, txt::NewDataBase, 1, NextDataBaseNumber);
    }
    if (has(f, tfLabel)) {
        // The label keeps its node from the moment the node was made.
        auto* l = static_cast<IVRLabel*>(x);
        AddLabel(l);
        nameDeclaration(*this, l, txt::NewLabel, 2, NextLabelNumber);
    }
    if (has(f, tfIf)) {
        tree_.addLast(added, std::make_unique<IVRTrue>(this), IVRTrue::info.GetTypeName());
        tree_.addLast(added, std::make_unique<IVRFalse>(this), IVRFalse::info.GetTypeName());
    }
    if (has(f, tfSwitch)) tree_.addLast(added, std::make_unique<IVRDefault>(this), IVRDefault::info.GetTypeName());

    tree_.setText(added, x->GetNodeText());
    tree_.select(added);
    tree_.setExpanded(added, true);
    signalModified();
    return added;
}

// Moves node with its subtree to the place of the code relative to target. The node owns its
// statement, so ownership follows the tree.
void TIVRFlow::moveNode(FlowNode* node, FlowNode* target, int code)
{
    FlowNode* parent = target->parent();
    switch (code) {
    case pcLastSibling:
        if (parent) tree_.move(node, parent, parent->childCount());
        return;
    case pcFirstSibling:
        if (parent) tree_.move(node, parent, 0);
        return;
    case pcLastChild: tree_.move(node, target, target->childCount()); return;
    case pcFirstChild: tree_.move(node, target, 0); return;
    case pcBefore:
        if (parent) tree_.move(node, parent, target->row());  // before itself: stays
        return;
    case pcAfter:
        if (FlowNode* next = target->nextSibling())
            moveNode(node, next, pcBefore);
        else
            moveNode(node, target, pcLastSibling);
        return;
    case pcAfterFirstChild:
        if (FlowNode* first = target->firstChild()) {
            if (FlowNode* second = first->nextSibling())
                moveNode(node, second, pcBefore);
            else
                moveNode(node, target, pcLastChild);
        }
        return;
    default: return;
    }
}

void TIVRFlow::MoveStatement(const DragSource& source, FlowNode* target, int code)
{
    if (!target || target->tree() != &tree_) return;
    switch (source.kind) {
    case DragSource::Kind::Tree: {
        if (source.flow != this) return;
        FlowNode* node = tree_.selected();
        // A node can't go into its own subtree; the tree refuses such moves too.
        if (!node || (target != node && target->isInside(node))) return;
        moveNode(node, target, code);
        return;
    }
    case DragSource::Kind::Palette: {
        const ClassInfo* c = source.statementClass;
        if (!c) return;
        if (code >= pcLastSibling && code <= pcBefore) {
            AddStatement(target, c, code);
        } else if (code == pcAfter) {
            if (FlowNode* next = target->nextSibling())
                AddStatement(next, c, pcBefore);
            else
                AddStatement(target, c, pcLastSibling);
        } else if (code == pcAfterFirstChild) {
            if (FlowNode* first = target->firstChild()) {
                if (FlowNode* second = first->nextSibling())
                    AddStatement(second, c, pcBefore);
                else
                    AddStatement(target, c, pcLastChild);
            }
        }
        return;
    }
    case DragSource::Kind::Other: return;
    }
}

bool TIVRFlow::CanDrop(uint32_t s, uint32_t t)
{
    if (has(s, tfDeclaration)) return has(t, tfDeclaration);
    if (has(t, tfDeclaration)) return false;
    if (has(t, tfContainer)) {
        if (has(t, tfSwitchContainer)) return true;
        if (has(s, tfSwitchArmPlace)) return has(t, tfSwitchArmPlace);
        return true;
    }
    return !has(s, tfSwitchArmPlace);
}

int TIVRFlow::DropMoveCode(uint32_t s, uint32_t t, bool ctrl)
{
    if (has(s, tfDeclaration)) {
        if (!has(t, tfDeclaration)) return -1;
        if (has(t, tfVarRoot)) return pcAfterFirstChild;  // after the result variable
        if (has(t, tfContainer) && ctrl) return pcFirstChild;
        return pcAfter;
    }
    if (has(t, tfDeclaration)) return -1;
    if (has(t, tfSwitchContainer)) return has(s, tfSwitchArmPlace) ? pcFirstChild : pcAfter;
    if (has(s, tfSwitchArmPlace)) {
        if (!has(t, tfSwitchArmPlace)) return -1;
        return has(t, tfIfBranch) ? pcBefore : pcAfter;  // before the Default arm, after a Case
    }
    if (has(t, tfSwitchArmPlace)) return pcFirstChild;
    if (has(t, tfContainer) && ctrl) return pcFirstChild;
    if (!has(t, tfSibling)) return pcFirstChild;
    return pcAfter;
}

void TIVRFlow::TreeMouseDown(FlowViewPort& view, Qt::MouseButton button, int x, int y)
{
    if (button == Qt::RightButton) {
        // So that a context menu applies to the node under the pointer.
        if (FlowNode* node = view.nodeAt(x, y)) tree_.select(node);
    } else if (button == Qt::LeftButton) {
        PressedNode = view.nodeAt(x, y);
        if (!Running()) {
            DragStartX = x;
            DragStartY = y;
        }
    }
}

void TIVRFlow::TreeMouseMove(FlowViewPort& view, int x, int y)
{
    if (DragStartX == -1 || DragStartY == -1) return;
    if (std::abs(DragStartX - x) < 3 && std::abs(DragStartY - y) < 3) return;
    if (!PressedNode || view.nodeAt(x, y) != PressedNode || tree_.selected() != PressedNode) return;
    if (!has(flagsOf(PressedNode), tfMovable)) return;
    view.beginDrag();
    DragStartX = DragStartY = -1;
}

void TIVRFlow::TreeMouseUp()
{
    DragStartX = DragStartY = -1;
}

bool TIVRFlow::TreeDragOver(FlowViewPort& view, const DragSource& source, int x, int y, bool accept)
{
    // A running flow's tree takes no drop, also not from the palette of another window.
    if (Running()) return false;
    FlowNode* target = view.nodeAt(x, y);
    if (!target) return accept;  // such a drop does nothing
    FlowNode* selected = tree_.selected();
    if (target != selected) tree_.setExpanded(target, true);  // hovering opens a collapsed node
    const uint32_t t = flagsOf(target);
    switch (source.kind) {
    case DragSource::Kind::Tree:
        if (source.flow != this || !selected || !selected->statement()) return false;
        if (target != selected && target->isInside(selected)) return false;  // into its own subtree
        return CanDrop(selected->statement()->GetTypeSet(), t);
    case DragSource::Kind::Palette:
        return source.statementClass && CanDrop(source.statementClass->typeSet, t);
    case DragSource::Kind::Other: return false;
    }
    return false;
}

void TIVRFlow::TreeDragDrop(FlowViewPort& view, const DragSource& source, int x, int y, bool ctrl)
{
    DragStartX = DragStartY = -1;
    if (Running()) return;
    FlowNode* target = view.nodeAt(x, y);
    const bool fromOwnTree = source.kind == DragSource::Kind::Tree && source.flow == this;
    if (fromOwnTree && target == tree_.selected()) return;  // a node dropped on itself
    if (!target) return;

    uint32_t s = 0;
    bool known = false;
    if (fromOwnTree && tree_.selected() && tree_.selected()->statement()) {
        s = tree_.selected()->statement()->GetTypeSet();
        known = true;
    } else if (source.kind == DragSource::Kind::Palette && source.statementClass) {
        s = source.statementClass->typeSet;
        known = true;
    }
    if (known) {
        const int code = DropMoveCode(s, flagsOf(target), ctrl);
        if (code >= 0) MoveStatement(source, target, code);
    }
    signalModified();
}
