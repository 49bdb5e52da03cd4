#include "engine/statements/declarations.h"

#include <thread>

#include "engine/flow.h"
#include "engine/texts.h"
#include "platform/dataset.h"

// ---- links ----

Value TIVRVariantLink::GetLinkValue() const
{
    // One copy at most: of the value where it lies, or of the one copied out under the lock.
    if (const Value* where = PeekLinkValue()) return where->isNull() ? Value() : *where;
    Value v = variable_->value();
    if (v.isNull()) v = Value();
    return v;
}

namespace {
// The name a reference to the variable is stored under. The result variable is named in the
// interface language, so a flow from the other language may hold a user variable of that very
// name; a reference to the result variable then keeps the other language's name, which the
// reader resolves to the result variable and never to the user variable.
QString storedName(const IVRVariant* variable)
{
    const TIVRFlow* flow = variable->flow();
    if (!flow || variable != flow->ResultVariant) return variable->Name;
    auto taken = [&](const QString& name) {
        for (const IVRVariant* v = flow->FirstVariant; v; v = v->nextVariant)
            if (v != variable && v->Name == name) return true;
        return false;
    };
    if (!taken(variable->Name)) return variable->Name;
    for (const QString& other : {QStringLiteral("Result"), QStringLiteral("结果")})
        if (!taken(other)) return other;
    return variable->Name;
}
}  // namespace

Value TIVRVariantLink::GetSaveValue() const
{
    if (variable_) return Value(storedName(variable_));
    if (constant.isString()) return Value(QLatin1Char('"') + constant.asString() + QLatin1Char('"'));
    if (constant.isNull()) return Value();
    return constant;
}

QString TIVRVariantLink::GetValueText() const
{
    if (variable_) return variable_->Name;
    QString text;
    GetSaveValue().toText(&text);
    return text;
}

void TIVRVariantLink::LinkTo(IVRVariant* variable)
{
    Unlink();
    TIVRVariantLink& head = variable->link;
    prev_ = &head;
    next_ = head.next_;
    if (head.next_) head.next_->prev_ = this;
    head.next_ = this;
    variable_ = variable;
    constant = Value();
}

void TIVRVariantLink::Unlink()
{
    if (!variable_) return;
    if (prev_) prev_->next_ = next_;
    if (next_) next_->prev_ = prev_;
    prev_ = next_ = nullptr;
    variable_ = nullptr;
}

// ---- link-holding bases ----

bool TIVRUseVariant::WhetherUse(int kind, const TIVRBase* declaration) const
{
    return kind == 0 && declaration && link.variable() == declaration;
}

void TIVRUseVariant::BuildLink()
{
    flow()->LinkVariant(link);
}

bool TIVRUseLabel::WhetherUse(int kind, const TIVRBase* declaration) const
{
    return kind == 2 && declaration && link.target() == declaration;
}

void TIVRUseLabel::BuildLink()
{
    flow()->LinkLabel(link);
}

bool TIVRUseDataBase::WhetherUse(int kind, const TIVRBase* declaration) const
{
    return kind == 1 && declaration && link.target() == declaration;
}

void TIVRUseDataBase::BuildLink()
{
    flow()->LinkDataBase(link);
}

PropertyDesc TIVRUseDataBase::dataBaseProperty()
{
    PropertyDesc d{"DataBase", PropKind::String, true, 0};
    d.get = [](const TIVRBase& s) { return Value(static_cast<const TIVRUseDataBase&>(s).link.targetName()); };
    d.set = [](TIVRBase& s, const Value& v) { static_cast<TIVRUseDataBase&>(s).link.name = v.asString(); };
    return d;
}

// ---- variables ----

IVRVariant::IVRVariant(TIVRFlow* flow) : TIVRUseVariant(flow) {}

IVRVariant::~IVRVariant()
{
    if (TIVRFlow* f = flow()) {
        f->CaptionsStale = true;
        f->removeVariant(this);
    }
    // Every referrer forgets the variable; the chain head (our own link) is freed with us.
    TIVRVariantLink* l = link.next_;
    while (l) {
        TIVRVariantLink* n = l->next_;
        l->prev_ = l->next_ = nullptr;
        l->variable_ = nullptr;
        l = n;
    }
    link.next_ = nullptr;
}

void IVRVariant::BuildLink()
{
    // A stored string constant loses its quotes; a variable's initial value is never a link.
    Value& c = link.constant;
    if (c.kind() == Value::Kind::String) {
        const QString s = c.asString();
        if (s.startsWith(QLatin1Char('"'))) c = Value(s.mid(1, std::max<qsizetype>(0, s.size() - 2)));
    }
}

QString IVRVariant::GetDescription() const
{
    QString d = txt::Colon + Name;
    const QString init = link.GetValueText();
    if (!init.isEmpty()) d += QLatin1Char(' ') + txt::InitValue + QLatin1Char(' ') + init;
    return d;
}

namespace {
thread_local const TIVRFlow* t_runningFlow = nullptr;
}

class ValueGuard {
public:
    explicit ValueGuard(const IVRVariant& v) : locked_(v.valueLocked_)
    {
        while (locked_.exchange(true, std::memory_order_acquire))
            while (locked_.load(std::memory_order_relaxed)) std::this_thread::yield();
    }
    ~ValueGuard() { locked_.store(false, std::memory_order_release); }
    ValueGuard(const ValueGuard&) = delete;
    ValueGuard& operator=(const ValueGuard&) = delete;

private:
    std::atomic<bool>& locked_;
};

const Value* TIVRVariantLink::PeekLinkValue() const
{
    if (!variable_) return &constant;
    if (t_runningFlow && t_runningFlow == variable_->flow()) return &variable_->current_;
    return nullptr;
}

RunnerThreadScope::RunnerThreadScope(const TIVRFlow* flow) : previous_(t_runningFlow) { t_runningFlow = flow; }

RunnerThreadScope::~RunnerThreadScope() { t_runningFlow = previous_; }

Value IVRVariant::value() const
{
    // The writer reading its own writes races with nobody.
    if (t_runningFlow && t_runningFlow == flow()) return current_;
    const ValueGuard guard(*this);
    return current_;
}

void IVRVariant::setValue(const Value& v)
{
    const ValueGuard guard(*this);
    current_ = v;
}

void IVRVariant::setValue(Value&& v)
{
    const ValueGuard guard(*this);
    current_ = std::move(v);
}

void IVRVariant::setInteger(int32_t v)
{
    const ValueGuard guard(*this);
    current_.setInteger(v);
}

void IVRVariant::setBoolean(bool v)
{
    const ValueGuard guard(*this);
    current_.setBoolean(v);
}

QString IVRVariant::GetCurrentValueText() const
{
    const Value v = value();
    if (v.isEmptyOrNull()) return {};
    if (v.isString()) return QLatin1Char('"') + v.asString() + QLatin1Char('"');
    return v.displayText();
}

// ---- labels and jumps ----

IVRLabel::~IVRLabel()
{
    if (TIVRFlow* f = flow()) {
        f->CaptionsStale = true;
        f->removeLabel(this);
    }
    link.cutChain();
}

QString IVRLabel::GetDescription() const
{
    return txt::Colon + Name;
}

QString IVRGoto::GetDescription() const
{
    return txt::Colon + (link.target() ? link.target()->Name : txt::NoLabel);
}

FlowNode* IVRGoto::GetGotoNode() const
{
    return link.target() ? link.target()->node() : nullptr;
}

FlowNode* IVRFinish::GetGotoNode() const
{
    return flow()->EndRoot;
}

FlowNode* IVRRestart::GetGotoNode() const
{
    return flow()->BeginRoot;
}

// ---- database definitions ----

const char* const CommandTypeIds[6] = {"cmdUnknown", "cmdText", "cmdTable", "cmdStoredProc", "cmdFile",
                                       "cmdTableDirect"};

IVRDataBase::~IVRDataBase()
{
    if (TIVRFlow* f = flow()) {
        f->CaptionsStale = true;
    }
    dataSet_.reset();
    if (TIVRFlow* f = flow()) f->removeDataBase(this);
    link.cutChain();
}

QString IVRDataBase::GetDescription() const
{
    const QString type = (CommandType >= 0 && CommandType < txt::CommandTypeNames.size())
                             ? txt::CommandTypeNames[CommandType]
                             : QString::fromLatin1(CommandTypeIds[std::clamp(CommandType, 0, 5)]);
    return txt::Colon + Name + QLatin1Char(' ') + type + QStringLiteral(" - ") +
           (CommandText.isEmpty() ? txt::Null : CommandText);
}
