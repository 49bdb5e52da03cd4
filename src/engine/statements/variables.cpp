#include "engine/statements/variables.h"

void IVRString::BuildLink()
{
    TIVROperateVariant::BuildLink();
    if (Operate == strSubString) {
        if (SubIndex == 0) SubIndex = 1;
        if (SubCount == 0) SubCount = 1;
    } else {
        SubIndex = 0;
        SubCount = 0;
    }
}
