#include "engine/statements/database.h"
#include "engine/texts.h"

const char* const DataBaseOperateTypeIds[8] = {"dbExecute", "dbOpen", "dbClose", "dbFirst",
                                               "dbPrior",   "dbNext", "dbLast",  "dbNull"};

namespace {
PropertyList dataBaseOperateProps()
{
    PropertyList l = TIVRBase::commonProperties();
    l.push_back(TIVRUseDataBase::dataBaseProperty());
    return l;
}

PropertyDesc variantLinkProperty(const char* name)
{
    return props::link<&TIVROperateDataBase::variantLink>(name);
}

const PropertyList* dbOperateProps()
{
    static const PropertyList list = [] {
        PropertyList l = dataBaseOperateProps();
        l.push_back(props::enumeration<&IVRDBOperate::Operate>("Operate", false, dbNull, DataBaseOperateTypeIds));
        l.push_back(variantLinkProperty("Save"));
        return l;
    }();
    return &list;
}

const PropertyList* fieldProps()
{
    static const PropertyList list = [] {
        PropertyList l = dataBaseOperateProps();
        l.push_back(props::link<&IVRField::Field>("Field"));
        l.push_back(variantLinkProperty("Save"));
        return l;
    }();
    return &list;
}

const PropertyList* paramProps()
{
    static const PropertyList list = [] {
        PropertyList l = dataBaseOperateProps();
        l.push_back(props::link<&IVRParam::Param>("Param"));
        l.push_back(variantLinkProperty("Value"));
        return l;
    }();
    return &list;
}

const PropertyList* commandProps()
{
    static const PropertyList list = [] {
        PropertyList l = dataBaseOperateProps();
        l.push_back(variantLinkProperty("CommandText"));
        l.push_back(props::enumeration<&IVRCommand::CommandType>("CommandType", true, cmdUnknown, CommandTypeIds));
        return l;
    }();
    return &list;
}
}  // namespace

SORVIX_DEFINE_CLASS(IVRDBOperate, txt::tnDBOperate, OperateTypeSet, 2, dbOperateProps);
SORVIX_DEFINE_CLASS(IVRField, txt::tnField, OperateTypeSet, 2, fieldProps);
SORVIX_DEFINE_CLASS(IVRParam, txt::tnParam, OperateTypeSet, 2, paramProps);
SORVIX_DEFINE_CLASS(IVRCommand, txt::tnCommand, OperateTypeSet, 2, commandProps);
