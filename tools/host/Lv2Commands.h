// The LV2 side of `info` and `render`.
#pragma once

#include <ostream>
#include <string>

namespace thudra::host {

struct RenderOptions;

int runLv2Info(const std::string& target, std::ostream& out, std::ostream& err);
int runLv2Render(const RenderOptions& options, std::ostream& out, std::ostream& err);

}  // namespace thudra::host
