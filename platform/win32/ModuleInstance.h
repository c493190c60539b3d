#pragma once
// The module's own instance handle (an HINSTANCE), kept by DllMain. Null in
// a program that is not the plug-in module; resources are then looked up in
// the program itself.
namespace platform {

void SetModuleInstance(void* instance);
void* ModuleInstance();

}  // namespace platform
