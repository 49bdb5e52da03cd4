#pragma once

#include <QString>
#include <memory>
#include <atomic>
#include <mutex>

#include "engine/links.h"
#include "engine/statement.h"

class DataSet;

// Base of every statement that holds one variable link.
class TIVRUseVariant : public TIVRBase {
public:
    using TIVRBase::TIVRBase;
    bool WhetherUse(int kind, const TIVRBase* declaration) const override;
    void BuildLink() override;

    TIVRVariantLink link;

    // A property that reads and writes the stored form of a variable link of the class.
    template <class T, TIVRVariantLink T::*Member>
    static PropertyDesc linkProperty(const char* name)
    {
        PropertyDesc d{name, PropKind::Variant, true, 0};
        d.get = [](const TIVRBase& s) { return (static_cast<const T&>(s).*Member).GetSaveValue(); };
        d.set = [](TIVRBase& s, const Value& v) { (static_cast<T&>(s).*Member).SetSaveValue(v); };
        return d;
    }
};

class TIVRUseLabel : public TIVRBase {
public:
    using TIVRBase::TIVRBase;
    bool WhetherUse(int kind, const TIVRBase* declaration) const override;
    void BuildLink() override;

    TIVRLabelLink link;
};

class TIVRUseDataBase : public TIVRBase {
public:
    using TIVRBase::TIVRBase;
    bool WhetherUse(int kind, const TIVRBase* declaration) const override;
    void BuildLink() override;

    TIVRDataBaseLink link;
    // The `DataBase` property: the referenced definition's name; writing sets the name to resolve.
    static PropertyDesc dataBaseProperty();
};

class IVRVar : public TIVRBase {
    SORVIX_STATEMENT(IVRVar)
    using TIVRBase::TIVRBase;
};

class IVRBegin : public TIVRBase {
    SORVIX_STATEMENT(IVRBegin)
    using TIVRBase::TIVRBase;
};

class IVRCategory : public TIVRBase {
    SORVIX_STATEMENT(IVRCategory)
    using TIVRBase::TIVRBase;
};

// Marks the calling thread, for its lifetime, as the one that runs `flow` and so the only one
// that writes the flow's variables.
class RunnerThreadScope {
public:
    explicit RunnerThreadScope(const TIVRFlow* flow);
    ~RunnerThreadScope();
    RunnerThreadScope(const RunnerThreadScope&) = delete;
    RunnerThreadScope& operator=(const RunnerThreadScope&) = delete;

private:
    const TIVRFlow* previous_;
};

class IVRVariant : public TIVRUseVariant {
    SORVIX_STATEMENT(IVRVariant)
public:
    explicit IVRVariant(TIVRFlow* flow);
    ~IVRVariant() override;

    QString GetDescription() const override;
    bool WhetherUse(int, const TIVRBase*) const override { return false; }
    // A variable never links to another variable: its stored initial value stays a constant.
    void BuildLink() override;

    QString Name;
    IVRVariant* prevVariant = nullptr;
    IVRVariant* nextVariant = nullptr;

    // The current value, guarded: the runner writes it while a dialog may read it. While a flow
    // runs only its runner writes its variables, so the runner's own reads take no lock.
    Value value() const;
    void setValue(const Value& v);
    void setValue(Value&& v);
    // setValue(Value(v)) without the temporary.
    void setInteger(int32_t v);
    void setBoolean(bool v);
    void ResetValue() { setValue(link.constant); }
    QString GetCurrentValueText() const;

private:
    friend class TIVRVariantLink;
    friend class ValueGuard;
    // Held for a copy of the value only, and almost never contended: a spin lock costs the
    // runner one atomic exchange per write where a mutex costs two.
    mutable std::atomic<bool> valueLocked_{false};
    Value current_;
};

class IVRResult : public IVRVariant {
    SORVIX_STATEMENT(IVRResult)
    using IVRVariant::IVRVariant;
    // Its caption is the bare type name.
    QString GetDescription() const override { return {}; }
};

class IVRLabel : public TIVRUseLabel {
    SORVIX_STATEMENT(IVRLabel)
public:
    using TIVRUseLabel::TIVRUseLabel;
    ~IVRLabel() override;
    QString GetDescription() const override;
    bool WhetherUse(int, const TIVRBase*) const override { return false; }
    void BuildLink() override {}
    TIVRLabelLink& ownLink() { return link; }

    QString Name;
    IVRLabel* prevLabel = nullptr;
    IVRLabel* nextLabel = nullptr;
};

// Jumps: the runner continues at GetGotoNode.
class IVRGoto : public TIVRUseLabel {
    SORVIX_STATEMENT(IVRGoto)
public:
    using TIVRUseLabel::TIVRUseLabel;
    QString GetDescription() const override;
    FlowNode* GetGotoNode() const override;
};

class IVRFinish : public TIVRUseLabel {
    SORVIX_STATEMENT(IVRFinish)
public:
    using TIVRUseLabel::TIVRUseLabel;
    FlowNode* GetGotoNode() const override;
};

class IVRRestart : public TIVRUseLabel {
    SORVIX_STATEMENT(IVRRestart)
public:
    using TIVRUseLabel::TIVRUseLabel;
    FlowNode* GetGotoNode() const override;
};

enum TCommandType : int { cmdUnknown, cmdText, cmdTable, cmdStoredProc, cmdFile, cmdTableDirect };
extern const char* const CommandTypeIds[6];

class IVRDataBase : public TIVRUseDataBase {
    SORVIX_STATEMENT(IVRDataBase)
public:
    using TIVRUseDataBase::TIVRUseDataBase;
    ~IVRDataBase() override;
    QString GetDescription() const override;
    bool WhetherUse(int, const TIVRBase*) const override { return false; }
    void BuildLink() override {}
    TIVRDataBaseLink& ownLink() { return link; }

    // Before every pass, on the runner thread: creates the data set when there is none, gives it
    // the connection string as it is now (a data-link file named relative to the flow file made
    // absolute), closes it and sets the command type and text from the definition. A changed
    // connection string lets go of the old connection. False with *error when the data set
    // refuses (the pass goes on; the statements then report their own failures).
    bool PrepareDataSet(QString* error);
    // At the end of a run, on the runner thread that used the data set: lets go of its
    // connection, which belongs to that thread.
    void ReleaseDataSet();
    // At the end of a run, on any thread once the runner no longer uses it: closes the data set
    // and clears its command text.
    void CloseDataSet();
    // From any thread, when a run is stopped: cancels the statement the data set runs and the
    // ones it would start, until the next PrepareDataSet.
    void CancelDataSet();
    DataSet* dataSet() const { return dataSet_.get(); }

    QString Name;
    QString ConnectionString;
    int CommandType = cmdUnknown;
    QString CommandText;
    IVRDataBase* prevDataBase = nullptr;
    IVRDataBase* nextDataBase = nullptr;

private:
    std::shared_ptr<DataSet> dataSet_;
};
