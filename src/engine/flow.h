#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "engine/dialogservices.h"
#include "engine/flowtree.h"
#include "engine/value.h"

class TIVRFlow;
class TIVRBase;
class TIVRVariantLink;
class IVRVariant;
class IVRResult;
class IVRDataBase;
class IVRLabel;
class ITAPI3Device;
class TFlowThread;
class FlowFileCache;
struct ClassInfo;
template <class Decl> class TIVRNamedLink;
using TIVRLabelLink = TIVRNamedLink<IVRLabel>;
using TIVRDataBaseLink = TIVRNamedLink<IVRDataBase>;

// Where AddStatement puts a new node and MoveStatement a moved one, relative to a reference node.
enum PositionCode : int {
    pcLastSibling = 0,      // last child of the node's parent
    pcFirstSibling = 1,     // first child of the node's parent
    pcLastChild = 2,
    pcFirstChild = 3,       // AddStatement on the declarations root: right after the result variable
    pcBefore = 4,
    pcAfter = 5,
    pcAfterFirstChild = 6,  // MoveStatement only
};

// How a flow is run and the channel its runner opens.
struct RunSettings {
    bool debug = false;  // a debug run: one pass, paused at breakpoints
    bool step = false;   // with debug: paused before every statement
    int addressIndex = 0;
    int gatewayIndex = -1;  // -1 none
    int waveOut = -1;       // sound device ids of the gateway audio, -1 the line itself
    int waveIn = -1;
    int hookMode = 0;      // THookSwitchMode ordinal
    int transmitDtmf = 0;  // -1 forward digits through the gateway, 0 not
};

// What is dragged onto a flow's tree: a node of a flow's own tree, a palette button's statement
// class, or anything else (refused).
struct DragSource {
    enum class Kind { Tree, Palette, Other };
    Kind kind = Kind::Other;
    const TIVRFlow* flow = nullptr;              // Tree: the flow whose selected node is dragged
    const ClassInfo* statementClass = nullptr;  // Palette

    static DragSource treeOf(const TIVRFlow* f) { return {Kind::Tree, f, nullptr}; }
    static DragSource palette(const ClassInfo* c) { return {Kind::Palette, nullptr, c}; }
    static DragSource other() { return {}; }
};

// What the flow needs of the widget that shows its tree while the mouse works on it.
class FlowViewPort {
public:
    virtual ~FlowViewPort() = default;
    // The node under the point (viewport coordinates), or nullptr.
    virtual FlowNode* nodeAt(int x, int y) const = 0;
    // Starts dragging the selected node. May run its own event loop before it returns.
    virtual void beginDrag() = 0;
};

// One flow in memory: the statement tree, the declaration lists, the run state and the events.
// Lives on the main thread; the runner thread reads it while it runs.
class TIVRFlow : public QObject {
    Q_OBJECT
public:
    // With a file name the flow is loaded from it; *error is empty on success, else the load error
    // and the caller frees the flow.
    // With a cache, a file read before and unchanged since is not read again.
    TIVRFlow(QObject* owner, const QString& fileName, bool debug, QString* error = nullptr,
             FlowFileCache* cache = nullptr);
    ~TIVRFlow() override;

    bool bDebug() const { return debug_; }
    FlowTree& tree() { return tree_; }
    const FlowTree& tree() const { return tree_; }

    QString FlowName;
    QString FileName;
    bool Modified = false;
    bool CaptionsStale = false;

    FlowNode* VarRoot = nullptr;
    FlowNode* BeginRoot = nullptr;
    FlowNode* EndRoot = nullptr;
    FlowNode* PressedNode = nullptr;

    IVRVariant* FirstVariant = nullptr;
    IVRResult* ResultVariant = nullptr;
    IVRDataBase* FirstDataBase = nullptr;
    IVRLabel* FirstLabel = nullptr;

    int NextVariantNumber = 1;
    int NextDataBaseNumber = 1;
    int NextLabelNumber = 1;
    int DragStartX = -1;
    int DragStartY = -1;

    // Process-wide: incremented for every new flow built without a file.
    static int NewFlowCounter;

    // Events; each may be unassigned. OnPause, OnConnect and OnHangUp are raised on the runner thread.
    std::function<void(bool paused)> OnPause;
    std::function<void()> OnFinish;
    std::function<void(bool modified)> OnModify;
    std::function<void(TIVRFlow*)> OnConnect;
    std::function<void(TIVRFlow*)> OnHangUp;
    // Before each statement the runner visits, on the runner thread (the headless runner's trace).
    std::function<void(FlowNode*)> OnTrace;
    // After a statement failed (result 1 or 3), on the runner thread, before the debug error
    // question: the statement's node, its result code, result text and error text.
    std::function<void(FlowNode*, int code, const QString& resultText, const QString& errorText)> OnFailure;
    // The debug error question, asked on the main thread: true = continue. Unassigned = no.
    std::function<bool(const QString& text, const QString& caption)> OnErrorQuestion;

    // Declaration lists (added at the head) and name resolution.
    void AddVariant(IVRVariant* v);
    void AddDataBase(IVRDataBase* d);
    void AddLabel(IVRLabel* l);
    void removeVariant(IVRVariant* v);
    void removeDataBase(IVRDataBase* d);
    void removeLabel(IVRLabel* l);
    void LinkVariant(TIVRVariantLink& link);
    void LinkDataBase(TIVRDataBaseLink& link);
    void LinkLabel(TIVRLabelLink& link);
    // Both languages' names of the result variable resolve to it.
    bool isResultName(const QString& name) const;

    // Editing commands (main thread). Those on the selected node do nothing without one.
    void signalModified();
    void RefreshCaptions();
    void DeleteStatement();
    void ToggleBreakPoint();
    // Whether a statement of this kind may carry a breakpoint (one the runner would stop at).
    static bool canHoldBreakPoint(const TIVRBase& s);
    void ToggleEnabled();
    void ClearAllBreakPoints();
    void EnableAll();
    void TreeDblClick();
    void TreeExpanded(FlowNode* node);
    void TreeCollapsed(FlowNode* node);

    // Services for statements and dialogs.
    bool NameExists(const QString& name, int kind, const TIVRBase* except) const;
    // On failure *error holds the message and the result is empty (the value to keep is the old one).
    static Value TextToValue(const QString& text, QString* error);
    static QString CaptionToName(const QString& caption);
    static QString ResultName(unsigned code);
    static QString ResultMessage(int code);
    QString GetFullFileName(const QString& name) const;

    // ---- Dialog services (dialogservices.cpp) ----
    // The contents of a variable, database or label combo box for the given link.
    DeclarationCombo<IVRVariant> FillVariantCombo(const TIVRVariantLink& link) const;
    DeclarationCombo<IVRDataBase> FillDataBaseCombo(const TIVRDataBaseLink& link) const;
    DeclarationCombo<IVRLabel> FillLabelCombo(const TIVRLabelLink& link) const;
    // Read-only while the flow runs: caption marked, OK disabled, focus on the running control.
    DialogPreparation PrepareDialog(const QString& caption) const;
    // A combo box with a selected item passes; otherwise its text must convert with TextToValue.
    // labelCaption is the caption of the field's label.
    static ValueInputCheck CheckValueInput(bool itemSelected, const QString& text, const QString& labelCaption);

    // ---- Insertion, moving and drops (insertion.cpp) ----
    // Adds a statement of the class at the position code 0-5 relative to node; returns the new
    // node, or nullptr for another code, a missing node, or a sibling position of a root.
    FlowNode* AddStatement(FlowNode* node, const ClassInfo* statementClass, int code);
    // Moves the selected node (tree source) or adds a palette class at the move code 0-6 relative
    // to target. A move into the moved node's own subtree is ignored.
    void MoveStatement(const DragSource& source, FlowNode* target, int code);
    // Whether a statement with the source role flags may be dropped on one with the target flags.
    static bool CanDrop(uint32_t source, uint32_t target);
    // The move code a drop chooses, or -1 when the drop moves nothing.
    static int DropMoveCode(uint32_t source, uint32_t target, bool ctrl);
    // The tree's mouse and drag events; x and y are viewport coordinates.
    void TreeMouseDown(FlowViewPort& view, Qt::MouseButton button, int x, int y);
    void TreeMouseMove(FlowViewPort& view, int x, int y);
    void TreeMouseUp();
    // Returns whether the drop is accepted; `accept` is what the tree passed in.
    bool TreeDragOver(FlowViewPort& view, const DragSource& source, int x, int y, bool accept);
    // ctrl: the Ctrl key is held down at the moment of the drop.
    void TreeDragDrop(FlowViewPort& view, const DragSource& source, int x, int y, bool ctrl);

    // Files.
    bool LoadFromFile(const QString& fileName, QString* error, FlowFileCache* cache = nullptr);
    bool SaveToFile(QString* error);
    bool SaveAs(const QString& fileName, QString* error);
    bool SaveFlowText(const QString& fileName, QString* error);

    // Running. The device is the process's telephony device object.
    void setDevice(std::shared_ptr<ITAPI3Device> device) { device_ = std::move(device); }
    std::shared_ptr<ITAPI3Device> device() const { return device_; }
    bool Running() const { return running_; }
    TFlowThread* FlowThread() const { return thread_; }
    // Note for the runner: Run on a running flow sets the runner's Step and signals its pause event
    // only when the runner and its event exist (a runner that is not paused in a debug run, or that
    // is ending, may have none); it never dereferences a missing one. Of the settings it then
    // reads only step.
    bool Run(const RunSettings& settings);
    bool Stop();
    // Why the last run ended by itself (its channel could not be opened, an error ended it);
    // empty when it was stopped or is still running. Read on the main thread once it has ended.
    QString StopReason() const { return stopReason_; }

    // Tree view attached (the editor); without one the runner skips selection and caption hand-overs.
    bool hasView() const { return tree_.observer() != nullptr; }

protected:
    // Runs the work its runner hands over (runner.cpp).
    bool event(QEvent* e) override;

private:
    friend class TFlowThread;
    friend struct TIVRFlowTestAccess;  // tests only: sets the run state without a runner
    void moveNode(FlowNode* node, FlowNode* target, int code);
    FlowNode* insertStatement(FlowNode* node, std::unique_ptr<TIVRBase> statement, const QString& text, int code);
    void buildNewFlow();

    bool debug_;
    FlowTree tree_;
    bool running_ = false;
    TFlowThread* thread_ = nullptr;
    QString stopReason_;
    std::shared_ptr<ITAPI3Device> device_;
};
