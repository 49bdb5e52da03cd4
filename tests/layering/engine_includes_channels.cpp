// Builds only when a library can see the headers of one it does not link: the engine does not
// link the channels library, so this file must fail to build (the include_layering test).
#include "channels/channeloptions.h"
