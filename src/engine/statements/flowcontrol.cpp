#include "engine/statements/flowcontrol.h"

#include "engine/texts.h"

bool conditionEquals(const Value& a, const Value& b, bool* equal, QString* error)
{
    if (a.isString() && b.isString()) {
        const int codeA = txt::resultCodeOfName(a.asString());
        const int codeB = txt::resultCodeOfName(b.asString());
        if (codeA >= 0 && codeB >= 0) {
            *equal = codeA == codeB;
            return true;
        }
    }
    return values::compare(ValueCompare::Equal, a, b, equal, error);
}

QString TIVRCondition::GetDescription() const
{
    const QString text = link.GetValueText();
    return txt::Colon + (text.isEmpty() ? txt::Null : text);
}

const PropertyList& TIVRCondition::conditionProperties()
{
    static const PropertyList list{linkProperty<TIVRUseVariant, &TIVRUseVariant::link>("Condition")};
    return list;
}

bool IVRIf::WhetherDoIt(Value& shared)
{
    shared = link.GetLinkValue();
    return true;
}

bool IVRSwitch::WhetherDoIt(Value& shared)
{
    shared = link.GetLinkValue();
    return true;
}

bool IVRTrue::WhetherDoIt(Value& shared)
{
    bool b = false;
    return shared.toBool(&b) && b;
}

bool IVRCase::WhetherDoIt(Value& shared)
{
    const Value own = link.GetLinkValue();
    if (own.isEmpty() && shared.isEmpty()) return true;
    bool equal = false;
    QString error;
    return conditionEquals(shared, own, &equal, &error) && equal;
}

bool IVRWhile::WhetherDoIt(Value&)
{
    // A Boolean condition, the usual one, is read where it is.
    if (const Value* v = link.PeekLinkValue(); v && v->kind() == Value::Kind::Boolean) return v->asBool();
    bool b = false;
    return link.GetLinkValue().toBool(&b) && b;
}
