#include "engine/statements/flowcontrol.h"
#include "engine/texts.h"

namespace {
const PropertyList* common() { return &TIVRBase::commonProperties(); }
const PropertyList* conditionProps()
{
    static const PropertyList list = concatProperties({&TIVRBase::commonProperties(), &TIVRCondition::conditionProperties()});
    return &list;
}
}  // namespace

SORVIX_DEFINE_CLASS(IVRBlock, txt::tnBlock, 0x200F, 0, common);
SORVIX_DEFINE_CLASS(IVREnd, txt::tnEnd, 0xA001, 0, common);
SORVIX_DEFINE_CLASS(IVRIf, txt::tnIf, 0x1200E, 5, conditionProps);
SORVIX_DEFINE_CLASS(IVRTrue, txt::tnTrue, 0x42001, 6, common);
SORVIX_DEFINE_CLASS(IVRFalse, txt::tnFalse, 0x42001, 7, common);
SORVIX_DEFINE_CLASS(IVRSwitch, txt::tnSwitch, 0x2201F, 8, conditionProps);
SORVIX_DEFINE_CLASS(IVRCase, txt::tnCase, 0x8202F, 9, conditionProps);
SORVIX_DEFINE_CLASS(IVRDefault, txt::tnDefault, 0xC2025, 9, common);
SORVIX_DEFINE_CLASS(IVRWhile, txt::tnWhile, 0x10200F, 10, conditionProps);
