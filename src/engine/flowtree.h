#pragma once

#include <QString>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

class TIVRBase;
struct ClassInfo;
class FlowTree;

// One node of a flow's tree. A node owns its statement and its child nodes.
class FlowNode {
public:
    ~FlowNode();

    TIVRBase* statement() const { return statement_.get(); }
    // The statement's class, looked up once: the runner asks it of every node it walks.
    const ClassInfo* classInfo() const { return classInfo_; }
    uint32_t typeSet() const { return typeSet_; }
    // nullptr for the three top-level nodes.
    FlowNode* parent() const;
    FlowNode* firstChild() const { return children_.empty() ? nullptr : children_.front().get(); }
    FlowNode* lastChild() const { return children_.empty() ? nullptr : children_.back().get(); }
    FlowNode* nextSibling() const;
    FlowNode* prevSibling() const;
    // Next node in tree order (depth first, parents before children).
    FlowNode* nextInTree() const;
    bool hasChildren() const { return !children_.empty(); }
    int childCount() const { return int(children_.size()); }
    FlowNode* child(int row) const { return children_[size_t(row)].get(); }
    int row() const { return row_; }
    // The top-level node above this one (itself for a top-level node).
    FlowNode* topLevel() const;
    // True when this node is `other` or lies below it.
    bool isInside(const FlowNode* other) const;
    int level() const;

    const QString& text() const { return text_; }
    int image() const { return image_; }
    int selectedImage() const { return selectedImage_; }
    bool expanded() const { return expanded_; }
    FlowTree* tree() const { return tree_; }

private:
    friend class FlowTree;
    FlowNode(FlowTree* tree, FlowNode* parent, std::unique_ptr<TIVRBase> statement);
    void renumber(int from);

    FlowTree* tree_;
    FlowNode* parent_;  // the invisible root for top-level nodes
    std::unique_ptr<TIVRBase> statement_;
    const ClassInfo* classInfo_;
    uint32_t typeSet_;
    std::vector<std::unique_ptr<FlowNode>> children_;
    int row_ = 0;
    QString text_;
    int image_ = 0;
    int selectedImage_ = 0;
    bool expanded_ = false;
};

// Told of every change, so a view can follow the tree. All calls happen on the main thread.
class FlowTreeObserver {
public:
    virtual ~FlowTreeObserver() = default;
    // parent nullptr = top level
    virtual void beginInsert(FlowNode* parent, int row) = 0;
    virtual void endInsert() = 0;
    virtual void beginRemove(FlowNode* parent, int row) = 0;
    virtual void endRemove() = 0;
    virtual void beginMove(FlowNode* fromParent, int fromRow, FlowNode* toParent, int toRow) = 0;
    virtual void endMove() = 0;
    virtual void nodeChanged(FlowNode* node) = 0;      // text or image
    virtual void expansionChanged(FlowNode* node) = 0;
    virtual void selectionChanged(FlowNode* node) = 0;  // node may be nullptr
    virtual void treeReset() = 0;
};

// The statement tree of one flow. Top-level nodes are the roots (Var, Begin, End).
class FlowTree {
public:
    FlowTree();
    ~FlowTree();
    FlowTree(const FlowTree&) = delete;
    FlowTree& operator=(const FlowTree&) = delete;

    int topLevelCount() const { return root_->childCount(); }
    FlowNode* topLevel(int row) const { return root_->child(row); }
    // First node in tree order, or nullptr.
    FlowNode* first() const { return root_->firstChild(); }
    bool isEmpty() const { return !root_->hasChildren(); }

    // parent nullptr = top level. Returns the new node.
    FlowNode* addLast(FlowNode* parent, std::unique_ptr<TIVRBase> statement, const QString& text = {});
    FlowNode* addFirst(FlowNode* parent, std::unique_ptr<TIVRBase> statement, const QString& text = {});
    FlowNode* insertBefore(FlowNode* sibling, std::unique_ptr<TIVRBase> statement, const QString& text = {});
    FlowNode* insertAt(FlowNode* parent, int row, std::unique_ptr<TIVRBase> statement, const QString& text = {});
    // Frees the node, its statement and its whole subtree. A selection inside the subtree moves
    // to the node's previous sibling, else its next sibling, else its parent.
    void remove(FlowNode* node);
    // Moves node (with its subtree) to be child `row` of newParent (nullptr = top level); row is
    // counted before the node is taken out. Refuses (returns false) a move into its own subtree.
    bool move(FlowNode* node, FlowNode* newParent, int row);
    void clear();

    void setText(FlowNode* node, const QString& text);
    void setImages(FlowNode* node, int image, int selectedImage);
    void setExpanded(FlowNode* node, bool expanded);
    void expandAll();
    FlowNode* selected() const { return selected_; }
    void select(FlowNode* node);

    int count() const { return count_; }
    void setObserver(FlowTreeObserver* observer) { observer_ = observer; }
    FlowTreeObserver* observer() const { return observer_; }

    // Called after a node's expansion changed (the flow switches folder images there).
    void setExpansionHandler(void (*handler)(void* ctx, FlowNode* node, bool expanded), void* ctx)
    {
        expansionHandler_ = handler;
        expansionCtx_ = ctx;
    }

private:
    FlowNode* insertNode(FlowNode* parent, int row, std::unique_ptr<TIVRBase> statement, const QString& text);
    FlowNode* outer(FlowNode* parent) const { return parent ? parent : root_.get(); }
    void forgetSubtree(FlowNode* node);

    std::unique_ptr<FlowNode> root_;
    FlowNode* selected_ = nullptr;
    FlowTreeObserver* observer_ = nullptr;
    int count_ = 0;
    void (*expansionHandler_)(void*, FlowNode*, bool) = nullptr;
    void* expansionCtx_ = nullptr;
};
