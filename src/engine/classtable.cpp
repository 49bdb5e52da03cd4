#include "engine/statement.h"
#include "engine/statements/declarations.h"
#include "engine/statements/database.h"
#include "engine/statements/files.h"
#include "engine/statements/flowcontrol.h"
#include "engine/statements/line.h"
#include "engine/statements/variables.h"
#include "engine/statements/voice.h"

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
        &IVROperator::info, &IVRString::info, &IVRDateTime::info, &IVRDBOperate::info, &IVRCommand::info,
        &IVRParam::info, &IVRField::info, &IVRTextFile::info, &IVRInitFile::info, &IVRExecute::info,
        &IVRRing::info, &IVRAnswer::info, &IVRCall::info, &IVRPlay::info, &IVRRecord::info, &IVRSpeech::info,
        &IVRReceiveDTMF::info, &IVRSendDTMF::info, &IVRSleep::info, &IVRGateway::info, &IVRSpeakerPhone::info,
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
