#include "tools/host/HostCommands.h"

#include <array>

#include "tools/host/CommandSupport.h"

namespace thudra::host {

namespace {

int runHelpCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

const std::array<Subcommand, 5> commandTable{{
    {"info", "MODULE", "show a module's identity, channels and parameters (MODULE may be an LV2 bundle or URI)",
     &runInfoCommand},
    {"render",
     "MODULE --out FILE.wav [--rate HZ] [--block FRAMES] [--length SECONDS]\n"
     "         [--note TIME,NOTE,VELOCITY[,DURATION]]... [--midi FILE.mid]\n"
     "         [--preset FILE.tvpreset|LV2_PRESET] [--param NAME_OR_INDEX=VALUE]... [--double]\n"
     "         [--tail SECONDS]",
     "render notes or a MIDI file to a 32-bit float WAV file", &runRenderCommand},
    {"screenshot", "MODULE --out FILE.png [--preset FILE.tvpreset] [--param NAME_OR_INDEX=VALUE]...",
     "open the editor in a window and write its first picture to a PNG file", &runScreenshotCommand},
    {"gui",
     "MODULE [--seconds SECONDS] [--out FILE.png] [--preset FILE.tvpreset]\n"
     "         [--param NAME_OR_INDEX=VALUE]...",
     "show the editor in a window until it is closed, with the audio running;\n"
     "      then print the parameters (and write the last picture with --out)",
     &runGuiCommand},
    {"help", "", "show this text", &runHelpCommand},
}};

void printUsage(std::ostream& out) {
  out << "usage: thudra-host COMMAND ...\n";
  for (const Subcommand& command : commandTable)
    out << "  " << command.name << (*command.usage ? " " : "") << command.usage << "\n      " << command.summary
        << '\n';
}

int runHelpCommand(const CommandArgs&, std::ostream& out, std::ostream&) {
  printUsage(out);
  return kExitOk;
}

}  // namespace

std::span<const Subcommand> subcommands() { return commandTable; }

int runHost(const CommandArgs& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    printUsage(err);
    return kExitUsage;
  }
  const std::string& name = args.front();
  if (name == "--help" || name == "-h") return runHelpCommand({}, out, err);
  for (const Subcommand& command : commandTable)
    if (name == command.name) return command.run(CommandArgs(args.begin() + 1, args.end()), out, err);
  printError(err, "unknown command '" + name + "' (try 'thudra-host help')");
  return kExitUsage;
}

}  // namespace thudra::host
