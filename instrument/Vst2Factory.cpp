// The instrument the VST2 module's entry points create.
#include <new>

#include "instrument/Thudrix.h"
#include "vst2/PluginFactory.h"

PlugVst2* CreateVst2Plugin(vst2::VstHostCallback host) { return new (std::nothrow) Thudrix(host); }
