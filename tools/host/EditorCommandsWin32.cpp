// The editor commands need the X11 window layer; the Windows host answers
// them with an error instead.
#include "tools/host/HostCommands.h"

namespace thudra::host {

int runScreenshotCommand(const CommandArgs&, std::ostream&, std::ostream& err)
{
    err << "thudra-host: screenshot is not available in the Windows build\n";
    return 2;
}

int runGuiCommand(const CommandArgs&, std::ostream&, std::ostream& err)
{
    err << "thudra-host: gui is not available in the Windows build\n";
    return 2;
}

}  // namespace thudra::host
