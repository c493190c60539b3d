#include <cmath>
#include <cstdio>
#include <memory>

#include "tests/vst2/LoadedModule.h"

using Module = LoadedModule;

TEST_F(Module, ExportsOnlyTheTwoEntryPoints) {
  EXPECT_NE(dlsym(handle, "main"), nullptr);
  std::unique_ptr<FILE, int (*)(FILE*)> nm(
      popen("nm -D --defined-only " THUDRA_MODULE_PATH " | awk '{print $3}' | sort", "r"), pclose);
  ASSERT_TRUE(nm);
  std::string names;
  char line[512];
  while (fgets(line, sizeof line, nm.get())) names += line;
  EXPECT_EQ(names, "VSTPluginMain\nmain\n");
}

TEST_F(Module, EffectRecordIdentity) {
  EXPECT_EQ(effect->magic, vst2::kEffectMagic);
  EXPECT_EQ(effect->numParams, 17);
  EXPECT_EQ(effect->numInputs, 0);
  EXPECT_EQ(effect->numOutputs, 2);
  EXPECT_EQ(effect->numPrograms, 1);
  EXPECT_EQ(effect->uniqueID, FourCharCode("Tdr2"));
  EXPECT_EQ(effect->version, 10000);
  EXPECT_EQ(effect->flags & ~vst2::effFlagsHasEditor, 0x1110);
  EXPECT_EQ(effect->flags & vst2::effFlagsProgramChunks, 0);
  EXPECT_FLOAT_EQ(effect->ioRatio, 1.0f);
  EXPECT_EQ(Call(vst2::effGetPlugCategory), vst2::kPlugCategSynth);
  EXPECT_EQ(Call(vst2::effGetVstVersion), 2400);
  EXPECT_EQ(Call(vst2::effIdentify), 0x4e764566);
  EXPECT_EQ(Text(vst2::effGetEffectName, 0), "Tarvolin Thudra");
  EXPECT_EQ(Text(vst2::effGetVendorString, 0), "Tarvolin Instruments");
  EXPECT_EQ(Text(vst2::effGetProductString, 0), "");
  EXPECT_EQ(Call(vst2::effGetEffectName), 0);  // no buffer
  // The host is not asked anything while the instance is created.
  EXPECT_TRUE(host.calls.empty());
}

TEST_F(Module, CanDoAnswers) {
  auto canDo = [&](const char* text) { return Call(vst2::effCanDo, 0, 0, const_cast<char*>(text)); };
  EXPECT_EQ(canDo("receiveVstMidiEvent"), 1);
  EXPECT_EQ(canDo("sendVstMidiEvent"), 1);
  EXPECT_EQ(canDo("receiveVstTimeInfo"), 1);
  EXPECT_EQ(canDo("hasCockosExtensions"), intptr_t(0xbeef0000));
  EXPECT_EQ(canDo("receiveVstMidiEvents"), 0);
  EXPECT_EQ(canDo("offline"), 0);
  EXPECT_EQ(Call(vst2::effCanDo, 0, 0, nullptr), 0);
}

TEST_F(Module, PinProperties) {
  vst2::VstPinProperties pin{};
  EXPECT_EQ(Call(vst2::effGetOutputProperties, 0, 0, &pin), 1);
  EXPECT_EQ(pin.flags, 3);
  EXPECT_STREQ(pin.label, "Output 1");
  EXPECT_EQ(Call(vst2::effGetOutputProperties, 1, 0, &pin), 1);
  EXPECT_EQ(pin.flags, 1);
  EXPECT_STREQ(pin.label, "Output 2");
  EXPECT_EQ(Call(vst2::effGetOutputProperties, 2, 0, &pin), 0);
  EXPECT_EQ(Call(vst2::effGetOutputProperties, -1, 0, &pin), 0);
  EXPECT_EQ(Call(vst2::effGetOutputProperties, 0, 0, nullptr), 0);
  EXPECT_EQ(Call(vst2::effGetInputProperties, 0, 0, &pin), 0);
}

TEST_F(Module, SpeakerArrangements) {
  vst2::VstSpeakerArrangement* in = nullptr;
  vst2::VstSpeakerArrangement* out = nullptr;
  EXPECT_EQ(Call(vst2::effGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in), &out), 1);
  ASSERT_TRUE(in && out);
  EXPECT_EQ(in->type, vst2::kSpeakerArrEmpty);
  EXPECT_EQ(in->numChannels, 0);
  EXPECT_EQ(out->type, vst2::kSpeakerArrStereo);
  EXPECT_EQ(out->numChannels, 2);
}

TEST_F(Module, ParametersThroughTheRecord) {
  EXPECT_EQ(effect->getParameter(effect, -1), 0.0f);
  EXPECT_EQ(effect->getParameter(effect, 17), 0.0f);
  effect->setParameter(effect, 17, 1.0f);
  effect->setParameter(effect, -1, 1.0f);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 1), 0.5f);
  effect->setParameter(effect, 9, 0.5f);
  EXPECT_EQ(effect->getParameter(effect, 9), 1.0f);
  EXPECT_EQ(Text(vst2::effGetParamDisplay, 9), "on");
  EXPECT_EQ(Text(vst2::effGetParamName, 16), "");
  char untouched[8] = "keep";
  EXPECT_EQ(Call(vst2::effGetParamName, 17, 0, untouched), 0);
  EXPECT_STREQ(untouched, "keep");
  EXPECT_EQ(Call(vst2::effCanBeAutomated, 3), 1);
}

TEST_F(Module, StringToParameter) {
  auto set = [&](int32_t index, const char* text) {
    return Call(vst2::effString2Parameter, index, 0, const_cast<char*>(text));
  };
  EXPECT_EQ(set(9, "on"), 1);
  EXPECT_EQ(effect->getParameter(effect, 9), 1.0f);
  EXPECT_EQ(set(9, "yes"), 0);
  EXPECT_EQ(effect->getParameter(effect, 9), 1.0f);
  EXPECT_EQ(set(2, "0.25"), 1);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 2), 0.25f);
  EXPECT_EQ(set(2, "7"), 1);  // clamped
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 2), 1.0f);
  EXPECT_EQ(set(2, "loud"), 0);  // not a number: unchanged
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 2), 1.0f);
  EXPECT_EQ(set(0, " -6"), 1);
  EXPECT_EQ(Text(vst2::effGetParamDisplay, 0), "-6");
  EXPECT_EQ(Call(vst2::effString2Parameter, 2, 0, nullptr), 1);
  EXPECT_EQ(set(40, "1"), 0);
}

TEST_F(Module, VendorSpecificQueries) {
  char text[64] = {};
  EXPECT_EQ(Call(vst2::effVendorSpecific, 7, 9, text, 0.7f), 0xbeef);
  EXPECT_STREQ(text, "off");  // 0.7 truncates to 0 before the lookup
  EXPECT_EQ(Call(vst2::effVendorSpecific, 7, 99, text, 0.7f), 0xbeef);
  EXPECT_EQ(Call(vst2::effVendorSpecific, 7, 9, nullptr, 0.7f), 0);
  EXPECT_EQ(Call(vst2::effVendorSpecific, 8, 9), 0xbeef);
  EXPECT_EQ(Call(vst2::effVendorSpecific, 8, 2), 0);
  EXPECT_EQ(Call(vst2::effVendorSpecific, 8, 17), 0);
}

TEST_F(Module, ReplacingAndAccumulatingOutput) {
  OpenAndStart();
  SendNote(0, 36, 100);
  const auto replaced = RenderFloat(256, 0.25f);
  Call(vst2::effClose);
  effect = entry(&RecordingHost);
  OpenAndStart();
  SendNote(0, 36, 100);
  const auto added = RenderFloat(256, 0.25f, true);
  for (int s = 0; s < 256; ++s) EXPECT_FLOAT_EQ(added[s], 0.25f + replaced[s]) << s;
  EXPECT_GT(host.wantMidi, 0);
}

TEST_F(Module, ZeroFramesStillRequestsMidi) {
  OpenAndStart();
  const int before = host.wantMidi;
  float* outs[] = {nullptr, nullptr};
  effect->processReplacing(effect, nullptr, outs, 0);
  EXPECT_EQ(host.wantMidi, before + 1);
}

TEST_F(Module, SampleAccurateMidiThroughProcessReplacing) {
  OpenAndStart(48000.0f, 64);
  SendNote(37, 36, 100);
  const auto block = RenderFloat(64);
  EXPECT_EQ(Peak(block, 0, 37), 0.0f);
  EXPECT_GT(Peak(block, 37, 64), 0.0f);
  // Double precision gives the same samples before rounding to float.
  Call(vst2::effClose);
  effect = entry(&RecordingHost);
  OpenAndStart(48000.0f, 64);
  SendNote(37, 36, 100);
  std::vector<double> l(64), r(64);
  double* outs[] = {l.data(), r.data()};
  effect->processDoubleReplacing(effect, nullptr, outs, 64);
  for (int s = 0; s < 64; ++s) EXPECT_EQ(float(l[s]), block[s]);
}

TEST_F(Module, HostDetection) {
  host.product = "REAPER x64";
  host.vendorVersion = 2105;
  Call(vst2::effOpen);
  int vendorQueries = 0;
  for (auto& call : host.calls)
    if (call.first == vst2::audioMasterGetVendorVersion) ++vendorQueries;
  EXPECT_EQ(vendorQueries, 1);
  Call(vst2::effOpen);  // detected once only
  int productQueries = 0;
  for (auto& call : host.calls)
    if (call.first == vst2::audioMasterGetProductString) ++productQueries;
  EXPECT_EQ(productQueries, 1);
}

TEST_F(Module, NullHostCallbackIsNeverCalled) {
  vst2::VstEffect* silent = entry(nullptr);
  ASSERT_NE(silent, nullptr);
  silent->dispatcher(silent, vst2::effOpen, 0, 0, nullptr, 0);
  silent->dispatcher(silent, vst2::effSetSampleRate, 0, 0, nullptr, 44100.0f);
  silent->setParameter(silent, 1, 0.3f);
  float l[32], r[32];
  float* outs[] = {l, r};
  silent->processReplacing(silent, nullptr, outs, 32);
  silent->dispatcher(silent, vst2::effClose, 0, 0, nullptr, 0);
}

TEST_F(Module, NonsenseConfigurationIsIgnored) {
  OpenAndStart();
  Call(vst2::effSetSampleRate, 0, 0, nullptr, 0.0f);
  Call(vst2::effSetSampleRate, 0, 0, nullptr, NAN);
  Call(vst2::effSetBlockSize, 0, -4);
  Call(vst2::effSetBlockSize, 0, intptr_t(1) << 40);
  SendNote(0, 36, 100);
  const auto out = RenderFloat(512);
  for (float v : out) ASSERT_TRUE(std::isfinite(v));
  EXPECT_EQ(Call(9999), 0);
  EXPECT_EQ(effect->dispatcher(nullptr, vst2::effOpen, 0, 0, nullptr, 0), 0);
}
