#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "engine/flowtree.h"
#include "engine/value.h"

class TIVRBase;
class TIVRVariantLink;
class IVRVariant;
class IVRResult;
class IVRDataBase;
class IVRLabel;
class ITAPI3Device;
class TFlowThread;
struct ClassInfo;
template <class Decl> class TIVRNamedLink;
using TIVRLabelLink = TIVRNamedLink<IVRLabel>;
using TIVRDataBaseLink = TIVRNamedLink<IVRDataBase>;

// One flow in memory: the statement tree, the declaration lists, the run state and the events.
// Lives on the main thread; the runner thread reads it while it runs.
class TIVRFlow : public QObject {
    Q_OBJECT
public:
    // With a file name the flow is loaded from it; *error is empty on success, else the load error
    // and the caller frees the flow.
    TIVRFlow(QObject* owner, const QString& fileName, bool debug, QString* error = nullptr);
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

    // Editing commands (main thread).
    void signalModified();
    void RefreshCaptions();
    void DeleteStatement();
    void ToggleBreakPoint();
    void ToggleEnabled();
    void ClearAllBreakPoints();
    void EnableAll();
    void TreeDblClick();
    void TreeExpanded(FlowNode* node);
    void TreeCollapsed(FlowNode* node);

    // Services for statements and dialogs.
    bool NameExists(const QString& name, int kind, const TIVRBase* except) const;
    static Value TextToValue(const QString& text, QString* error);
    static QString CaptionToName(const QString& caption);
    static QString ResultName(unsigned code);
    static QString ResultMessage(int code);
    QString GetFullFileName(const QString& name) const;

    // Files.
    bool LoadFromFile(const QString& fileName, QString* error);
    bool SaveToFile(QString* error);
    bool SaveAs(const QString& fileName, QString* error);
    bool SaveFlowText(const QString& fileName, QString* error);

    // Running. The device is the process's telephony device object.
    void setDevice(std::shared_ptr<ITAPI3Device> device) { device_ = std::move(device); }
    std::shared_ptr<ITAPI3Device> device() const { return device_; }
    bool Running() const { return running_; }
    TFlowThread* FlowThread() const { return thread_; }
    bool Run(bool debug, bool step, int addressIndex, int gatewayIndex, int waveOut, int waveIn, int hookMode,
             int transmitDtmf);
    bool Stop();

    // Tree view attached (the editor); without one the runner skips selection and caption hand-overs.
    bool hasView() const { return tree_.observer() != nullptr; }

private:
    friend class TFlowThread;
    void buildNewFlow();

    bool debug_;
    FlowTree tree_;
    bool running_ = false;
    TFlowThread* thread_ = nullptr;
    std::shared_ptr<ITAPI3Device> device_;
};
