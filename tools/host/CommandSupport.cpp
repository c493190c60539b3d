#include "tools/host/CommandSupport.h"

#include <cmath>
#include <cstdio>

#include "tools/host/ModuleLoader.h"
#include "tools/host/Renderer.h"

namespace thudra::host {

void printError(std::ostream& err, const std::string& message) { err << "thudra-host: " << message << '\n'; }

int fail(std::ostream& err, const std::string& message, int exitCode) {
  printError(err, message);
  return exitCode;
}

std::string formatFixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string formatDecibels(double linear) {
  const double db = toDecibels(linear);
  return std::isinf(db) ? "-inf dBFS" : formatFixed(db, 2) + " dBFS";
}

std::string formatHex32(int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(value));
  return text;
}

std::string fourCharText(int32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((static_cast<uint32_t>(code) >> shift) & 0xff);
    text += (c >= 0x20 && c < 0x7f) ? c : '.';
  }
  return text;
}

std::unique_ptr<HostedPlugin> createPlugin(const std::string& modulePath, HostSession& session, std::ostream& err) {
  ModuleLoadResult loaded = loadModule(modulePath);
  if (!loaded.module) {
    printError(err, loaded.error);
    return nullptr;
  }
  PluginCreateResult created = HostedPlugin::create(std::move(loaded.module), session);
  if (!created.plugin) {
    printError(err, created.error);
    return nullptr;
  }
  return std::move(created.plugin);
}

}  // namespace thudra::host
