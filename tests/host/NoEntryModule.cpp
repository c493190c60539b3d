// A shared object that is not a VST2 module: it has no entry point.
extern "C" __attribute__((visibility("default"))) int NoEntryModuleMarker() { return 1; }
