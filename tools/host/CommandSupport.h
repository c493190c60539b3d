// Small helpers shared by the subcommands.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "tools/host/HostSession.h"
#include "tools/host/HostedPlugin.h"

namespace thudra::host {

void printError(std::ostream& err, const std::string& message);
// Prints the message and gives back the exit code, for `return fail(...)`.
int fail(std::ostream& err, const std::string& message, int exitCode);

// Fixed-point text in the C locale.
std::string formatFixed(double value, int decimals);
std::string formatDecibels(double linear);
std::string formatHex32(int32_t value);
// Four-character code as text; unprintable bytes show as '.'.
std::string fourCharText(int32_t code);

// Loads the module and creates an instance bound to `session`; on failure
// prints the reason and returns null.
std::unique_ptr<HostedPlugin> createPlugin(const std::string& modulePath, HostSession& session, std::ostream& err);

}  // namespace thudra::host
