#include "engine/statement.h"

#include "engine/texts.h"

namespace {
EditHandler g_editHandler = nullptr;
}

void setEditHandler(EditHandler handler)
{
    g_editHandler = handler;
}

bool PropertyDesc::isDefault(const Value& v) const
{
    switch (kind) {
    case PropKind::String: return v.asString().isEmpty();
    case PropKind::Variant: return v.isEmptyOrNull();
    case PropKind::Boolean:
        return hasDefault && v.kind() == Value::Kind::Boolean && int32_t(v.asBool()) == defaultInt;
    case PropKind::Integer:
    case PropKind::Enum:
    case PropKind::Char:
        return hasDefault && v.kind() == Value::Kind::Integer && v.asInt() == defaultInt;
    }
    return false;
}

const PropertyDesc* ClassInfo::findProperty(QAnyStringView name) const
{
    for (const PropertyDesc& d : *properties())
        if (QAnyStringView::compare(name, QLatin1String(d.name), Qt::CaseInsensitive) == 0) return &d;
    return nullptr;
}

const PropertyList& TIVRBase::commonProperties()
{
    static const PropertyList list = [] {
        PropertyList l;
        l.push_back(stringProperty<TIVRBase, &TIVRBase::Note>("Note"));
        PropertyDesc enabled{"Enabled", PropKind::Boolean, true, 1};
        enabled.get = [](const TIVRBase& s) { return Value(s.enabled()); };
        enabled.set = [](TIVRBase& s, const Value& v) { s.setEnabled(v.asBool()); };
        l.push_back(enabled);
        PropertyDesc bp{"BreakPoint", PropKind::Boolean, true, 0};
        bp.get = [](const TIVRBase& s) { return Value(s.breakPoint()); };
        bp.set = [](TIVRBase& s, const Value& v) { s.setBreakPoint(v.asBool()); };
        l.push_back(bp);
        return l;
    }();
    return list;
}

PropertyList concatProperties(std::initializer_list<const PropertyList*> lists)
{
    PropertyList out;
    for (const PropertyList* l : lists) out.insert(out.end(), l->begin(), l->end());
    return out;
}

bool TIVRBase::Edit()
{
    return g_editHandler ? g_editHandler(*this) : false;
}

bool TIVRBase::WhetherUse(int, const TIVRBase*) const
{
    return false;
}

int TIVRBase::DoIt(ExecContext&, QString&, QString&)
{
    return rcSuccess;
}

bool TIVRBase::WhetherDoIt(Value&)
{
    return true;
}

QString TIVRBase::GetNodeText() const
{
    QString text;
    if (!enabled())
        text = QStringLiteral("//");
    else if (breakPoint())
        text = txt::BreakMark;
    text += GetTypeName();
    text += GetDescription();
    if (!Note.isEmpty()) text += txt::NoteOpen + Note + txt::NoteClose;
    return text;
}
