#pragma once

#include <QString>
#include <QStringList>
#include <algorithm>
#include <exception>
#include <type_traits>
#include <vector>

#include "engine/device.h"
#include "engine/statements/declarations.h"

// Role flags of every operation statement: movable, sibling, dialog, operation, operation family.
inline constexpr uint32_t OperateTypeSet = tfMovable | tfSibling | tfDialog | tfOperation | tfOperationFamily;
static_assert(OperateTypeSet == 0x180E, "the role flags that every operation statement answers");

// Base of the operation statements that work on variables, files and the line. Its inherited
// link is the first operand (`Save` of the variable statements, `FileName`, `WavFile`, ...).
// Further links a kind holds are listed by extraLinks(); WhetherUse and BuildLink cover them.
class TIVROperateVariant : public TIVRUseVariant {
public:
    using TIVRUseVariant::TIVRUseVariant;
    bool WhetherUse(int kind, const TIVRBase* declaration) const override;
    void BuildLink() override;

protected:
    // The links beyond the inherited one, in the order BuildLink resolves them.
    virtual std::vector<TIVRVariantLink*> extraLinks() { return {}; }
    std::vector<const TIVRVariantLink*> extraLinks() const;
};

// Base of the database statements: the database link of TIVRUseDataBase plus one variable link
// (published as `Save`, `Value` or `CommandText` by the concrete kinds).
class TIVROperateDataBase : public TIVRUseDataBase {
public:
    using TIVRUseDataBase::TIVRUseDataBase;
    bool WhetherUse(int kind, const TIVRBase* declaration) const override;
    void BuildLink() override;

    TIVRVariantLink variantLink;

protected:
    virtual std::vector<TIVRVariantLink*> extraLinks() { return {}; }
    std::vector<const TIVRVariantLink*> extraLinks() const;
};

// The DoIt contract shared by the operation statements.
namespace operation {
// Failure: the result text becomes the failure's result name, the error text the given one; 1.
int fail(QString& resultText, QString& errorText, const QString& error);
// A required operand is missing: failure with "NotEnoughParam".
int notEnoughParam(QString& resultText, QString& errorText);
// An operand is out of its range: failure with "ParamError".
int paramError(QString& resultText, QString& errorText);
// The run has no channel (the device could not open it): failure with "No channel: ...".
int noChannel(QString& resultText, QString& errorText);
// The texts of a channel status: the code is the status for 0..4 and 1 otherwise; the result
// text is the code's result name, the error text the status's message. A status outside 0..9
// (the device gives none, but a faulty one might) is a failure that names the status, so it can
// never pass for success or for an end of the pass. Returns the code.
int finish(int status, QString& resultText, QString& errorText);
// finish for a status the channel gave: a failure's error text also carries the device's reason.
int finish(IIVRAddress& channel, int status, QString& resultText, QString& errorText);
// An operand's text: its link value converted to text (empty for an empty value). When the
// value has no text, or the operand is `required` and its text is empty, the failure is reported
// (the conversion's message, or "NotEnoughParam"), *code receives its code and false is returned.
bool operandText(const TIVRVariantLink& link, bool required, QString& text, QString& resultText,
                 QString& errorText, int* code);

// "Failed": the text of an error that carries no message of its own.
QString failedMessage();

// Runs a DoIt body so that nothing escapes it: any exception becomes a failure with its message.
template <class Body>
int guarded(QString& resultText, QString& errorText, Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::exception& e) {
        return fail(resultText, errorText, QString::fromUtf8(e.what()));
    } catch (...) {
        return fail(resultText, errorText, failedMessage());
    }
}
}  // namespace operation

// Pieces of the node captions of the operation statements.
namespace caption {
// The link's value text (variable name, quoted string constant, constant), or "Null" when empty.
QString valueOrNull(const TIVRVariantLink& link);
// The name of the link's variable, or "NoVariant" when it refers to none.
QString variableOrNone(const TIVRVariantLink& link);
// The entry of a name list at an ordinal, or `fallback` for an ordinal outside the list.
QString nameAt(const QStringList& names, int index, const QString& fallback = QString());
}  // namespace caption

// Property descriptors over fields of a statement class (Member is a pointer to a data member).
namespace props {
template <class>
struct MemberTraits;
template <class C, class M>
struct MemberTraits<M C::*> {
    using Class = C;
    using Type = M;
};

// An integer from a property value, whatever numeric kind the reader hands over.
int32_t intOf(const Value& v);

// A Boolean; `always` = no declared default (always written).
template <auto Member>
PropertyDesc boolean(const char* name, bool always, bool defaultValue = false)
{
    using C = typename MemberTraits<decltype(Member)>::Class;
    PropertyDesc d{name, PropKind::Boolean, !always, defaultValue ? 1 : 0};
    d.get = [](const TIVRBase& s) { return Value(static_cast<const C&>(s).*Member); };
    d.set = [](TIVRBase& s, const Value& v) {
        bool b = false;
        if (v.kind() == Value::Kind::Boolean) b = v.asBool();
        else v.toBool(&b);
        static_cast<C&>(s).*Member = b;
    };
    return d;
}

// An integer within [Min, Max]; values outside are clamped into it.
template <auto Member, int32_t Min = 0, int32_t Max = 32767>
PropertyDesc integer(const char* name, bool always, int32_t defaultValue = 0)
{
    using C = typename MemberTraits<decltype(Member)>::Class;
    PropertyDesc d{name, PropKind::Integer, !always, defaultValue};
    d.minValue = Min;
    d.maxValue = Max;
    d.get = [](const TIVRBase& s) { return Value(int32_t(static_cast<const C&>(s).*Member)); };
    d.set = [](TIVRBase& s, const Value& v) { static_cast<C&>(s).*Member = std::clamp(intOf(v), Min, Max); };
    return d;
}

// An enumeration stored as its ordinal; ordinals outside the identifiers are refused (kept).
template <auto Member, int Count>
PropertyDesc enumeration(const char* name, bool always, int32_t defaultValue, const char* const (&ids)[Count])
{
    using C = typename MemberTraits<decltype(Member)>::Class;
    using E = typename MemberTraits<decltype(Member)>::Type;
    PropertyDesc d{name, PropKind::Enum, !always, defaultValue, ids, Count};
    d.minValue = 0;
    d.maxValue = Count - 1;
    d.get = [](const TIVRBase& s) { return Value(int32_t(static_cast<const C&>(s).*Member)); };
    d.set = [](TIVRBase& s, const Value& v) {
        const int32_t i = intOf(v);
        if (i >= 0 && i < Count) static_cast<C&>(s).*Member = static_cast<E>(i);
    };
    return d;
}

// A character stored as its code.
template <auto Member>
PropertyDesc character(const char* name, bool always, int32_t defaultValue = 0)
{
    using C = typename MemberTraits<decltype(Member)>::Class;
    PropertyDesc d{name, PropKind::Char, !always, defaultValue};
    d.minValue = 0;
    d.maxValue = 0xFFFF;
    d.get = [](const TIVRBase& s) { return Value(int32_t((static_cast<const C&>(s).*Member).unicode())); };
    d.set = [](TIVRBase& s, const Value& v) {
        static_cast<C&>(s).*Member = QChar(char16_t(std::clamp(intOf(v), 0, 0xFFFF)));
    };
    return d;
}

// The stored form of a variable link held by the statement.
template <auto Member>
PropertyDesc link(const char* name)
{
    using C = typename MemberTraits<decltype(Member)>::Class;
    PropertyDesc d{name, PropKind::Variant, true, 0};
    d.get = [](const TIVRBase& s) { return (static_cast<const C&>(s).*Member).GetSaveValue(); };
    d.set = [](TIVRBase& s, const Value& v) { (static_cast<C&>(s).*Member).SetSaveValue(v); };
    return d;
}

// The inherited variable link of a TIVRUseVariant kind, under the kind's own property name.
PropertyDesc mainLink(const char* name);
}  // namespace props
