#pragma once
// The preset name strip with its browser menu, the preset arrows' stepping,
// the start-up selection, and the display-only hit light.
#include <cstdint>

#include "graphics/Controls.h"
#include "base/TextBuf.h"

class PopupMenu;

class PresetFunctionsMenu : public PanelControl {
public:
  static constexpr int32_t kShownNameLength = 20;

  PresetFunctionsMenu(PlugBase* plug, const PixelRect& rect, const ArgbColor& color);
  ~PresetFunctionsMenu() override;
  void MouseDown(int32_t x, int32_t y, const MouseMods& mods) override;
  bool Draw(Editor* editor) override;

  // Shows text cut to kShownNameLength characters (never inside one) and
  // marks the strip; a name wider than the strip is drawn shortened.
  void ShowPresetName(const char* text);
  const char* DisplayedName() const { return displayedName_.Get(); }

private:
  void BrowseAndAct();
  void SaveFlow(Editor& editor);

  TextBuf displayedName_{128};
};

// A bitmap that only shows its parameter: clicks and the wheel do nothing.
class NonClickable : public BitmapControl {
public:
  NonClickable(PlugBase* plug, int32_t x, int32_t y, int32_t paramIndex, const BitmapStrip& strip);
  void MouseDown(int32_t, int32_t, const MouseMods&) override {}
  void DoubleClick(int32_t, int32_t, const MouseMods&) override {}
  void Wheel(int32_t, int32_t, const MouseMods&, int32_t) override {}
};

// The root menu of the browser: "Save File...", a separator, then the tree.
// With saveUnavailable the save item is grayed and shows that reason.
PopupMenu* BuildPresetMenu(const char* saveUnavailable = nullptr);

// Steps the shared current list by steps (positive: next, negative:
// previous), shows the preset's name in menu (if any) and loads it into
// plug. It reads a file: call it without plug's lock held.
void StepPreset(PlugBase& plug, PresetFunctionsMenu* menu, int32_t steps);

// Loads the first preset of the "Factory Presets" folder, shows its name and
// makes that folder the current list.
void SelectStartupPreset(PlugBase& plug, PresetFunctionsMenu* menu);
