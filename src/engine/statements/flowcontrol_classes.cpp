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

SORVIX_DEFINE_CLASS(IVRBlock, txt::tnBlock, tfContainer | tfMovable | tfSibling | tfDialog | tfFlowControl, 0, common);
SORVIX_DEFINE_CLASS(IVREnd, txt::tnEnd, tfContainer | tfFlowControl | tfEndRoot, 0, common);
SORVIX_DEFINE_CLASS(IVRIf, txt::tnIf, tfMovable | tfSibling | tfDialog | tfFlowControl | tfIf, 5, conditionProps);
SORVIX_DEFINE_CLASS(IVRTrue, txt::tnTrue, tfContainer | tfFlowControl | tfIfBranch, 6, common);
SORVIX_DEFINE_CLASS(IVRFalse, txt::tnFalse, tfContainer | tfFlowControl | tfIfBranch, 7, common);
SORVIX_DEFINE_CLASS(IVRSwitch, txt::tnSwitch,
                    tfContainer | tfMovable | tfSibling | tfDialog | tfSwitchContainer | tfFlowControl | tfSwitch, 8,
                    conditionProps);
SORVIX_DEFINE_CLASS(IVRCase, txt::tnCase,
                    tfContainer | tfMovable | tfSibling | tfDialog | tfSwitchArmPlace | tfFlowControl | tfCaseArm, 9,
                    conditionProps);
SORVIX_DEFINE_CLASS(IVRDefault, txt::tnDefault,
                    tfContainer | tfSibling | tfSwitchArmPlace | tfFlowControl | tfIfBranch | tfCaseArm, 9, common);
SORVIX_DEFINE_CLASS(IVRWhile, txt::tnWhile,
                    tfContainer | tfMovable | tfSibling | tfDialog | tfFlowControl | tfWhile, 10, conditionProps);
