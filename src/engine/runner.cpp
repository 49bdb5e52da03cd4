#include "engine/flow.h"

// Placeholder until the runner thread lands: a flow can't run yet.
bool TIVRFlow::Run(bool, bool, int, int, int, int, int, int)
{
    return false;
}
bool TIVRFlow::Stop()
{
    return false;
}
