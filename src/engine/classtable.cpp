#include "engine/statement.h"
#include "engine/statements/declarations.h"
#include "engine/statements/flowcontrol.h"

// The one table of every concrete statement class, in registration order.
const std::vector<const ClassInfo*>& ClassRegistry::all()
{
    static const std::vector<const ClassInfo*> table{
        // declarations, labels and jumps
        &IVRVar::info, &IVRCategory::info, &IVRVariant::info, &IVRResult::info, &IVRDataBase::info,
        &IVRBegin::info, &IVRGoto::info, &IVRLabel::info, &IVRFinish::info, &IVRRestart::info,
        // flow control
        &IVRBlock::info, &IVREnd::info, &IVRIf::info, &IVRTrue::info, &IVRFalse::info, &IVRSwitch::info,
        &IVRCase::info, &IVRDefault::info, &IVRWhile::info,
        // operations
    };
    return table;
}

const ClassInfo* ClassRegistry::find(QAnyStringView className)
{
    for (const ClassInfo* info : all())
        if (QAnyStringView::compare(className, QLatin1String(info->className), Qt::CaseInsensitive) == 0) return info;
    return nullptr;
}

TIVRBase* ClassRegistry::create(QAnyStringView className, TIVRFlow* flow)
{
    const ClassInfo* info = find(className);
    return info ? info->create(flow) : nullptr;
}
