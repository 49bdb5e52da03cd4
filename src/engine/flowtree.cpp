#include "engine/flowtree.h"

#include "engine/statement.h"

FlowNode::FlowNode(FlowTree* tree, FlowNode* parent, std::unique_ptr<TIVRBase> statement)
    : tree_(tree),
      parent_(parent),
      statement_(std::move(statement)),
      classInfo_(statement_ ? &statement_->classInfo() : nullptr),
      typeSet_(classInfo_ ? classInfo_->typeSet : 0)
{
    if (statement_) statement_->setNode(this);
}

FlowNode::~FlowNode()
{
    // The statement goes first, as an owner's destructor runs before its components are freed.
    statement_.reset();
    while (!children_.empty()) children_.pop_back();
}

FlowNode* FlowNode::parent() const
{
    return (parent_ && parent_->parent_) ? parent_ : nullptr;
}

FlowNode* FlowNode::nextSibling() const
{
    if (!parent_) return nullptr;
    size_t next = size_t(row_) + 1;
    return next < parent_->children_.size() ? parent_->children_[next].get() : nullptr;
}

FlowNode* FlowNode::prevSibling() const
{
    if (!parent_ || row_ == 0) return nullptr;
    return parent_->children_[size_t(row_) - 1].get();
}

FlowNode* FlowNode::nextInTree() const
{
    if (!children_.empty()) return children_.front().get();
    const FlowNode* n = this;
    while (n) {
        if (FlowNode* s = n->nextSibling()) return s;
        n = n->parent();
    }
    return nullptr;
}

FlowNode* FlowNode::topLevel() const
{
    const FlowNode* n = this;
    while (n->parent()) n = n->parent();
    return const_cast<FlowNode*>(n);
}

bool FlowNode::isInside(const FlowNode* other) const
{
    for (const FlowNode* n = this; n; n = n->parent())
        if (n == other) return true;
    return false;
}

int FlowNode::level() const
{
    int l = 0;
    for (const FlowNode* n = parent(); n; n = n->parent()) ++l;
    return l;
}

void FlowNode::renumber(int from)
{
    for (size_t i = size_t(from); i < children_.size(); ++i) children_[i]->row_ = int(i);
}

FlowTree::FlowTree() : root_(new FlowNode(this, nullptr, nullptr)) {}

FlowTree::~FlowTree()
{
    observer_ = nullptr;
    selected_ = nullptr;
    root_.reset();
}

FlowNode* FlowTree::insertNode(FlowNode* parent, int row, std::unique_ptr<TIVRBase> statement, const QString& text)
{
    FlowNode* p = outer(parent);
    row = std::clamp(row, 0, p->childCount());
    if (observer_) observer_->beginInsert(parent, row);
    auto node = std::unique_ptr<FlowNode>(new FlowNode(this, p, std::move(statement)));
    node->text_ = text;
    if (node->statement_) node->image_ = node->selectedImage_ = node->statement_->GetImageIndex();
    FlowNode* raw = node.get();
    p->children_.insert(p->children_.begin() + row, std::move(node));
    p->renumber(row);
    ++count_;
    if (observer_) observer_->endInsert();
    return raw;
}

FlowNode* FlowTree::addLast(FlowNode* parent, std::unique_ptr<TIVRBase> statement, const QString& text)
{
    return insertNode(parent, outer(parent)->childCount(), std::move(statement), text);
}

FlowNode* FlowTree::addFirst(FlowNode* parent, std::unique_ptr<TIVRBase> statement, const QString& text)
{
    return insertNode(parent, 0, std::move(statement), text);
}

FlowNode* FlowTree::insertBefore(FlowNode* sibling, std::unique_ptr<TIVRBase> statement, const QString& text)
{
    return insertNode(sibling->parent(), sibling->row(), std::move(statement), text);
}

FlowNode* FlowTree::insertAt(FlowNode* parent, int row, std::unique_ptr<TIVRBase> statement, const QString& text)
{
    return insertNode(parent, row, std::move(statement), text);
}

void FlowTree::forgetSubtree(FlowNode* node)
{
    // The selection moves out of the removed subtree to a neighbour, as a tree control does:
    // the previous sibling, else the next one, else the parent.
    if (selected_ && selected_->isInside(node)) {
        FlowNode* neighbour = node->prevSibling();
        if (!neighbour) neighbour = node->nextSibling();
        if (!neighbour) neighbour = node->parent();
        select(neighbour);
    }
    // The node that follows the subtree in tree order ends the count.
    FlowNode* after = nullptr;
    for (const FlowNode* n = node; n && !after; n = n->parent()) after = n->nextSibling();
    int n = 0;
    for (FlowNode* x = node; x && x != after; x = x->nextInTree()) ++n;
    count_ -= n;
}

void FlowTree::remove(FlowNode* node)
{
    if (!node) return;
    forgetSubtree(node);
    FlowNode* p = node->parent_;
    int row = node->row_;
    if (observer_) observer_->beginRemove(node->parent(), row);
    std::unique_ptr<FlowNode> owned = std::move(p->children_[size_t(row)]);
    p->children_.erase(p->children_.begin() + row);
    p->renumber(row);
    owned.reset();
    if (observer_) observer_->endRemove();
}

bool FlowTree::move(FlowNode* node, FlowNode* newParent, int row)
{
    if (!node || (newParent && newParent->isInside(node))) return false;
    FlowNode* from = node->parent_;
    FlowNode* to = outer(newParent);
    int fromRow = node->row_;
    row = std::clamp(row, 0, to->childCount());
    if (from == to && (row == fromRow || row == fromRow + 1)) return true;  // already there
    if (observer_) observer_->beginMove(node->parent(), fromRow, newParent, row);
    std::unique_ptr<FlowNode> owned = std::move(from->children_[size_t(fromRow)]);
    from->children_.erase(from->children_.begin() + fromRow);
    from->renumber(fromRow);
    if (from == to && row > fromRow) --row;
    owned->parent_ = to;
    to->children_.insert(to->children_.begin() + row, std::move(owned));
    to->renumber(0);
    if (observer_) observer_->endMove();
    return true;
}

void FlowTree::clear()
{
    selected_ = nullptr;
    root_->children_.clear();
    count_ = 0;
    if (observer_) observer_->treeReset();
}

void FlowTree::setText(FlowNode* node, const QString& text)
{
    if (!node || node->text_ == text) return;
    node->text_ = text;
    if (observer_) observer_->nodeChanged(node);
}

void FlowTree::setImages(FlowNode* node, int image, int selectedImage)
{
    if (!node || (node->image_ == image && node->selectedImage_ == selectedImage)) return;
    node->image_ = image;
    node->selectedImage_ = selectedImage;
    if (observer_) observer_->nodeChanged(node);
}

void FlowTree::setExpanded(FlowNode* node, bool expanded)
{
    if (!node || node->expanded_ == expanded) return;
    node->expanded_ = expanded;
    if (observer_) observer_->expansionChanged(node);
    if (expansionHandler_) expansionHandler_(expansionCtx_, node, expanded);
}

void FlowTree::expandAll()
{
    for (FlowNode* n = first(); n; n = n->nextInTree()) setExpanded(n, true);
}

void FlowTree::select(FlowNode* node)
{
    if (selected_ == node) return;
    selected_ = node;
    if (observer_) observer_->selectionChanged(node);
}
