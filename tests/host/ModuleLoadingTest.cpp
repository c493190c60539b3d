#include <gtest/gtest.h>

#include "tests/host/HostTestSupport.h"

using namespace hosttest;

namespace {

enum LegacyMode { kReturnNull, kReturnWrongMagic, kReturnValid, kReturnHugeChannelCount };
using SetModeProc = void (*)(int);

void expectOneLineFailure(const CommandOutcome& outcome, const std::string& fragment) {
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(lineCount(outcome.err), 1u) << outcome.err;
  EXPECT_NE(outcome.err.find(fragment), std::string::npos) << outcome.err;
  EXPECT_TRUE(outcome.out.empty());
}

TEST(ModuleLoading, FilesThatAreNotModulesFailWithAClearMessage) {
  ScratchFolder folder;
  expectOneLineFailure(runHostCommand({"info", folder.file("missing.so")}), "cannot open module");
  expectOneLineFailure(runHostCommand({"info", folder.write("text.so", "not an ELF file\n")}), "cannot load module");
  expectOneLineFailure(runHostCommand({"info", folder.write("empty.so", "")}), "cannot load module");
  expectOneLineFailure(runHostCommand({"info", folder.file("")}), "not a regular file");
  expectOneLineFailure(runHostCommand({"info", NO_ENTRY_PATH}), "exports neither VSTPluginMain nor main");
}

TEST(ModuleLoading, LegacyMainEntryPointIsUsedAndItsRecordChecked) {
  ModuleProbe probe(LEGACY_ENTRY_PATH);
  auto setMode = probe.symbol<SetModeProc>("LegacyEntrySetMode");
  ASSERT_NE(setMode, nullptr);

  setMode(kReturnValid);
  const CommandOutcome valid = runHostCommand({"info", LEGACY_ENTRY_PATH});
  EXPECT_EQ(valid.exitCode, 0) << valid.err;
  EXPECT_NE(valid.out.find("effect:      Legacy Entry\n"), std::string::npos) << valid.out;

  setMode(kReturnNull);
  expectOneLineFailure(runHostCommand({"info", LEGACY_ENTRY_PATH}), "no effect record");
  setMode(kReturnWrongMagic);
  expectOneLineFailure(runHostCommand({"info", LEGACY_ENTRY_PATH}), "without the 'VstP' magic");
  setMode(kReturnHugeChannelCount);
  expectOneLineFailure(runHostCommand({"info", LEGACY_ENTRY_PATH}), "impossible channel count");
  setMode(kReturnValid);
}

TEST(InfoCommand, ShowsIdentityChannelsAndEveryParameter) {
  ClickSynthProbe probe;
  const CommandOutcome outcome = runHostCommand({"info", CLICK_SYNTH_PATH});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  const std::string& out = outcome.out;
  for (const char* expected : {
           "effect:      Click Synth\n",
           "vendor:      Test Vendor\n",
           "product:     Click Product\n",
           "unique id:   'TsCk' (0x5473436b)\n",
           "version:     1234\n",
           "category:    2 (synth)\n",
           "flags:       0x00001110 (CanReplacing IsSynth CanDoubleReplacing)\n",
           "inputs:      0\n",
           "outputs:     2\n",
           "programs:    1\n",
           "parameters:  3\n",
           "  0  name \"Level\"  display \"100\"  label \"%\"  value 1.000000\n",
           "  1  name \"Decay\"  display \"500\"  label \"ms\"  value 0.500000\n",
           "  2  name \"Mode\"  display \"Off\"  label \"\"  value 0.000000\n",
       })
    EXPECT_NE(out.find(expected), std::string::npos) << "missing: " << expected << out;

  const ClickSynthLog& log = probe.log();
  EXPECT_EQ(log.hostVersionDuringCreation, 2400) << "callback answers before the record exists";
  EXPECT_EQ(log.openCalls, 1);
  EXPECT_EQ(log.closeCalls, 1);
}

TEST(CommandLine, UsageErrorsExitWithTwo) {
  EXPECT_EQ(runHostCommand({}).exitCode, 2);
  EXPECT_EQ(runHostCommand({"explode"}).exitCode, 2);
  EXPECT_EQ(runHostCommand({"info"}).exitCode, 2);
  EXPECT_EQ(runHostCommand({"info", "a.so", "b.so"}).exitCode, 2);
  const CommandOutcome help = runHostCommand({"help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const auto& command : thudra::host::subcommands()) EXPECT_NE(help.out.find(command.name), std::string::npos);
}

}  // namespace
