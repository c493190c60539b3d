#pragma once
#include "vst2/PlugVst2.h"

// Defined by the instrument linked into the module, so the adapter's entry
// points create an instance without knowing which product it is. Returns
// nullptr when the instance cannot be made.
PlugVst2* CreateVst2Plugin(vst2::VstHostCallback host);
