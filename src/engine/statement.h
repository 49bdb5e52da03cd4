#pragma once

#include <QAnyStringView>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/value.h"

class TIVRFlow;
class FlowNode;
class IIVRAddress;
class TIVRBase;
struct ClassInfo;

// Role flags answered by GetTypeSet.
enum TypeFlag : uint32_t {
    tfContainer = 0x1,          // may receive child statements
    tfMovable = 0x2,            // may be deleted and dragged
    tfSibling = 0x4,            // another statement may follow it as its sibling
    tfDialog = 0x8,             // has a property dialog
    tfSwitchContainer = 0x10,   // accepts only switch arms as children
    tfSwitchArmPlace = 0x20,    // stands only among the arms of a Switch
    tfDeclaration = 0x40,       // belongs in the declarations section
    tfVarRoot = 0x80,           // the declarations root
    tfTakesDeclarations = 0x100,
    tfVariable = 0x200,
    tfDataBase = 0x400,
    tfOperation = 0x800,        // the runner calls DoIt
    tfOperationFamily = 0x1000,
    tfFlowControl = 0x2000,     // the runner calls WhetherDoIt
    tfBeginRoot = 0x4000,
    tfEndRoot = 0x8000,
    tfIf = 0x10000,             // adding one adds True and False children
    tfSwitch = 0x20000,         // adding one adds a Default child
    tfIfBranch = 0x40000,       // True, False (and Default)
    tfCaseArm = 0x80000,        // Case, Default
    tfWhile = 0x100000,
    tfLabelOrJump = 0x200000,
    tfLabel = 0x400000,
    tfJump = 0x800000,
};

// Result codes of DoIt.
enum ResultCode : int {
    rcSuccess = 0,
    rcFailed = 1,
    rcHangUp = 2,
    rcCallFailed = 3,
    rcEndPass = 4,
};

// What a statement runs against: the channel (may be null), the flow and the stop request.
struct ExecContext {
    std::shared_ptr<IIVRAddress> channel;
    TIVRFlow* flow = nullptr;
    const std::atomic<bool>* stop = nullptr;
    bool stopRequested() const { return stop && stop->load(std::memory_order_relaxed); }
};

// Kinds of persisted properties, as the flow file writes them.
enum class PropKind { String, Boolean, Integer, Enum, Char, Variant };

// One persisted property of a statement class. Values travel as Value:
// String -> String, Boolean -> Boolean, Integer/Enum/Char -> Integer (Char: the character code),
// Variant -> the stored form (String, Integer or Float; Empty is not written).
struct PropertyDesc {
    const char* name;
    PropKind kind;
    bool hasDefault;      // false: always written
    int32_t defaultInt;   // default of Boolean (0/1), Integer, Enum and Char properties
    const char* const* enumIds = nullptr;  // identifiers of an Enum property, in ordinal order
    int enumCount = 0;
    int32_t minValue = 0;  // range of Integer properties
    int32_t maxValue = 32767;
    Value (*get)(const TIVRBase&) = nullptr;
    void (*set)(TIVRBase&, const Value&) = nullptr;

    // True when the current value equals the declared default and is therefore not written.
    bool isDefault(const Value& v) const;
};

using PropertyList = std::vector<PropertyDesc>;

// What a class answers without an instance.
struct ClassInfo {
    const char* className;
    QString* typeName;  // text-table entry; follows the interface language
    uint32_t typeSet;
    int image;
    TIVRBase* (*create)(TIVRFlow* flow);
    const PropertyList* (*properties)();

    QString GetTypeName() const { return *typeName; }
    const PropertyDesc* findProperty(QAnyStringView name) const;  // without regard to case
};

// The base of every statement.
class TIVRBase {
public:
    explicit TIVRBase(TIVRFlow* flow) : flow_(flow) {}
    virtual ~TIVRBase() = default;
    TIVRBase(const TIVRBase&) = delete;
    TIVRBase& operator=(const TIVRBase&) = delete;

    virtual const ClassInfo& classInfo() const = 0;

    virtual QString GetDescription() const { return {}; }
    QString GetTypeName() const { return classInfo().GetTypeName(); }
    uint32_t GetTypeSet() const { return classInfo().typeSet; }
    int GetImageIndex() const { return classInfo().image; }
    const char* className() const { return classInfo().className; }
    bool hasFlag(uint32_t f) const { return (GetTypeSet() & f) != 0; }

    // Opens the kind's property dialog through the editor's registry; false without one.
    virtual bool Edit();
    // Kind 0 variable, 1 database definition, 2 label.
    virtual bool WhetherUse(int kind, const TIVRBase* declaration) const;
    virtual void BuildLink() {}
    virtual int DoIt(ExecContext& ctx, QString& resultText, QString& errorText);
    // Flow control: whether the runner enters the children.
    virtual bool WhetherDoIt(Value& shared);
    // Jumps: the node the runner continues at.
    virtual FlowNode* GetGotoNode() const { return nullptr; }

    QString GetNodeText() const;

    TIVRFlow* flow() const { return flow_; }
    FlowNode* node() const { return node_; }
    void setNode(FlowNode* n) { node_ = n; }

    QString Note;
    bool enabled() const { return enabled_.load(std::memory_order_relaxed); }
    void setEnabled(bool e) { enabled_.store(e, std::memory_order_relaxed); }
    bool breakPoint() const { return breakPoint_.load(std::memory_order_relaxed); }
    void setBreakPoint(bool b) { breakPoint_.store(b, std::memory_order_relaxed); }

    // Note, Enabled, BreakPoint in that order; every class's list starts with these
    // (after Name for the named declarations).
    static const PropertyList& commonProperties();

private:
    TIVRFlow* flow_;
    FlowNode* node_ = nullptr;
    // Read by the runner while the editor may toggle them.
    std::atomic<bool> enabled_{true};
    std::atomic<bool> breakPoint_{false};
};

// The class registry: every concrete statement class by its class name.
namespace ClassRegistry {
const std::vector<const ClassInfo*>& all();
// Found without regard to case; nullptr for unknown names and abstract bases.
const ClassInfo* find(QAnyStringView className);
TIVRBase* create(QAnyStringView className, TIVRFlow* flow);
}  // namespace ClassRegistry

// The editor installs a handler that opens a statement's property dialog; without one
// (console, tests) Edit returns false.
using EditHandler = bool (*)(TIVRBase& statement);
void setEditHandler(EditHandler handler);

// Helpers for property tables.
template <class T, QString T::*Member>
PropertyDesc stringProperty(const char* name)
{
    PropertyDesc d{name, PropKind::String, true, 0};
    d.get = [](const TIVRBase& s) { return Value(static_cast<const T&>(s).*Member); };
    d.set = [](TIVRBase& s, const Value& v) { static_cast<T&>(s).*Member = v.asString(); };
    return d;
}

PropertyList concatProperties(std::initializer_list<const PropertyList*> lists);

// Defines classInfo() and the static info of a concrete class.
#define SORVIX_STATEMENT(Class)                          \
public:                                                  \
    static const ClassInfo info;                         \
    const ClassInfo& classInfo() const override { return info; }

// Defines the class information of a concrete statement class.
#define SORVIX_DEFINE_CLASS(Class, TypeNameText, Flags, Image, PropertiesFn)                             \
    const ClassInfo Class::info{#Class, &TypeNameText, Flags, Image,                                     \
                                [](TIVRFlow* f) -> TIVRBase* { return new Class(f); }, PropertiesFn}
