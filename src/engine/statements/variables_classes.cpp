#include "engine/statements/variables.h"
#include "engine/texts.h"

const char* const DateOperateTypeIds[16] = {"dtDateTime", "dtDate",   "dtYear",      "dtMonth", "dtDay",
                                            "dtWeek",     "dtTime",   "dtHour",      "dtMinute", "dtSecond",
                                            "dtMillSecond", "dtDays", "dtHours",     "dtMinutes", "dtSeconds",
                                            "dtNull"};
const char* const VariantOperateTypeIds[17] = {
    "optAssign",   "optAdd",        "optSubtract",   "optMultiply",  "optRealDivide", "optIntDivide",
    "optModulus",  "optLess",       "optLessEqual",  "optEquality",  "optInequality", "optGreatEqual",
    "optGreater",  "optAnd",        "optOr",         "optNot",       "optNull"};
const char* const StringOperateTypeIds[8] = {"strGetLength", "strTrimLeft",   "strTrimRight", "strTrim",
                                             "strSubString", "strToNumber",   "strToString",  "strNil"};

namespace {
const PropertyList* dateTimeProps()
{
    static const PropertyList list = [] {
        PropertyList l = TIVRBase::commonProperties();
        l.push_back(props::mainLink("Save"));
        l.push_back(props::boolean<&IVRDateTime::System>("System", true));
        l.push_back(props::enumeration<&IVRDateTime::Operate>("Operate", false, dtNull, DateOperateTypeIds));
        // The pattern is written only together with dtNull, the one operation that uses it.
        PropertyDesc format = stringProperty<IVRDateTime, &IVRDateTime::Format>("Format");
        format.get = [](const TIVRBase& s) {
            const auto& d = static_cast<const IVRDateTime&>(s);
            return Value(d.Operate == dtNull ? d.Format : QString());
        };
        l.push_back(format);
        return l;
    }();
    return &list;
}

const PropertyList* operatorProps()
{
    static const PropertyList list = [] {
        PropertyList l = TIVRBase::commonProperties();
        l.push_back(props::mainLink("Save"));
        l.push_back(props::enumeration<&IVROperator::Operate>("Operate", false, optNull, VariantOperateTypeIds));
        l.push_back(props::link<&IVROperator::Source>("Source"));
        l.push_back(props::link<&IVROperator::Dest>("Dest"));
        return l;
    }();
    return &list;
}

const PropertyList* stringProps()
{
    static const PropertyList list = [] {
        PropertyList l = TIVRBase::commonProperties();
        l.push_back(props::mainLink("Save"));
        l.push_back(props::enumeration<&IVRString::Operate>("Operate", false, strNil, StringOperateTypeIds));
        l.push_back(props::integer<&IVRString::SubIndex>("SubIndex", false, 0));
        l.push_back(props::integer<&IVRString::SubCount>("SubCount", false, 0));
        return l;
    }();
    return &list;
}
}  // namespace

SORVIX_DEFINE_CLASS(IVRDateTime, txt::tnDateTime, OperateTypeSet, 2, dateTimeProps);
SORVIX_DEFINE_CLASS(IVROperator, txt::tnOperator, OperateTypeSet, 2, operatorProps);
SORVIX_DEFINE_CLASS(IVRString, txt::tnString, OperateTypeSet, 2, stringProps);
