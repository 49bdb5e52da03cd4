#include "engine/statements/declarations.h"
#include "engine/texts.h"

namespace {
const PropertyList* common() { return &TIVRBase::commonProperties(); }

PropertyDesc nameProperty()
{
    PropertyDesc d{"Name", PropKind::String, true, 0};
    d.get = [](const TIVRBase& s) -> Value {
        if (auto* v = dynamic_cast<const IVRVariant*>(&s)) return Value(v->Name);
        if (auto* l = dynamic_cast<const IVRLabel*>(&s)) return Value(l->Name);
        return Value(static_cast<const IVRDataBase&>(s).Name);
    };
    d.set = [](TIVRBase& s, const Value& v) {
        if (auto* var = dynamic_cast<IVRVariant*>(&s)) var->Name = v.asString();
        else if (auto* l = dynamic_cast<IVRLabel*>(&s)) l->Name = v.asString();
        else static_cast<IVRDataBase&>(s).Name = v.asString();
    };
    return d;
}

const PropertyList* variantProps()
{
    static const PropertyList list = [] {
        PropertyList l{nameProperty()};
        l.insert(l.end(), TIVRBase::commonProperties().begin(), TIVRBase::commonProperties().end());
        l.push_back(TIVRUseVariant::linkProperty<TIVRUseVariant, &TIVRUseVariant::link>("InitValue"));
        return l;
    }();
    return &list;
}

const PropertyList* labelProps()
{
    static const PropertyList list = [] {
        PropertyList l{nameProperty()};
        l.insert(l.end(), TIVRBase::commonProperties().begin(), TIVRBase::commonProperties().end());
        return l;
    }();
    return &list;
}

const PropertyList* gotoProps()
{
    static const PropertyList list = [] {
        PropertyList l = TIVRBase::commonProperties();
        PropertyDesc d{"LabelName", PropKind::String, true, 0};
        d.get = [](const TIVRBase& s) { return Value(static_cast<const TIVRUseLabel&>(s).link.targetName()); };
        d.set = [](TIVRBase& s, const Value& v) { static_cast<TIVRUseLabel&>(s).link.name = v.asString(); };
        l.push_back(d);
        return l;
    }();
    return &list;
}

const PropertyList* dataBaseProps()
{
    static const PropertyList list = [] {
        PropertyList l{nameProperty()};
        l.insert(l.end(), TIVRBase::commonProperties().begin(), TIVRBase::commonProperties().end());
        l.push_back(stringProperty<IVRDataBase, &IVRDataBase::ConnectionString>("ConnectionString"));
        PropertyDesc type{"CommandType", PropKind::Enum, true, cmdUnknown, CommandTypeIds, 6};
        type.get = [](const TIVRBase& s) { return Value(int32_t(static_cast<const IVRDataBase&>(s).CommandType)); };
        type.set = [](TIVRBase& s, const Value& v) { static_cast<IVRDataBase&>(s).CommandType = v.asInt(); };
        l.push_back(type);
        l.push_back(stringProperty<IVRDataBase, &IVRDataBase::CommandText>("CommandText"));
        return l;
    }();
    return &list;
}
}  // namespace

SORVIX_DEFINE_CLASS(IVRVar, txt::tnVar, tfContainer | tfDeclaration | tfVarRoot | tfTakesDeclarations, 0, common);
SORVIX_DEFINE_CLASS(IVRBegin, txt::tnBegin, tfContainer | tfBeginRoot, 0, common);
SORVIX_DEFINE_CLASS(IVRCategory, txt::tnCategory,
                    tfContainer | tfMovable | tfSibling | tfDialog | tfDeclaration | tfTakesDeclarations, 0, common);
SORVIX_DEFINE_CLASS(IVRVariant, txt::tnVariant,
                    tfMovable | tfSibling | tfDialog | tfDeclaration | tfVariable, 15, variantProps);
SORVIX_DEFINE_CLASS(IVRResult, txt::tnResult, tfSibling | tfDeclaration | tfVariable, 15, variantProps);
SORVIX_DEFINE_CLASS(IVRLabel, txt::tnLabel, tfMovable | tfSibling | tfDialog | tfLabelOrJump | tfLabel, 12, labelProps);
SORVIX_DEFINE_CLASS(IVRGoto, txt::tnGoto, tfMovable | tfSibling | tfDialog | tfLabelOrJump | tfJump, 11, gotoProps);
SORVIX_DEFINE_CLASS(IVRFinish, txt::tnFinish, tfMovable | tfSibling | tfLabelOrJump | tfJump, 13, common);
SORVIX_DEFINE_CLASS(IVRRestart, txt::tnRestart, tfMovable | tfSibling | tfLabelOrJump | tfJump, 14, common);
SORVIX_DEFINE_CLASS(IVRDataBase, txt::tnDataBase,
                    tfMovable | tfSibling | tfDialog | tfDeclaration | tfDataBase, 16, dataBaseProps);
