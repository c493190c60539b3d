#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "graphics/Editor.h"
#include "graphics/EditorSnapshot.h"
#include "raster/RasterBitmap.h"
#include "tests/instrument/ThudrixFixture.h"

namespace {

class EditorSurfaces : public ThudrixFixture {
protected:
  // What a host does to an instance whose editor it never opens.
  void PlayWithoutEditor(Thudrix& target) {
    MidiTo(target, 0, 0x90, 36, 100);
    target.SetParameterFromHost(kParamDecay, 0.8f);
    target.SetParameterFromHost(kParamTrigger, 1.0f);
    RenderWith(target, 44100);
    target.SetParameterFromHost(kParamMidiTuneFlag, 1.0f);
    RenderWith(target, 44100);
  }

  static std::vector<Pixel32> Picture(Editor& editor) {
    const std::string path = testing::TempDir() + "thudra-surface.png";
    EXPECT_TRUE(SaveEditorPng(editor, path.c_str()));
    std::remove(path.c_str());
    const RasterBitmap* bitmap = editor.DrawBitmap();
    return {bitmap->PixelData(), bitmap->PixelData() + int64_t(bitmap->RowSpan()) * bitmap->Height()};
  }
};

}  // namespace

TEST_F(EditorSurfaces, AnInstanceWhoseEditorNeverOpensHoldsNoPicture) {
  Editor* editor = plug->GetEditor();
  ASSERT_NE(editor, nullptr);
  PlayWithoutEditor(*plug);
  EXPECT_FALSE(editor->HoldsBitmaps());
}

TEST_F(EditorSurfaces, APictureAskedForLateLooksLikeOneDrawnFromTheStart) {
  auto early = MakeOpened(44100.0, 256);
  ASSERT_NE(early->GetEditor()->DrawBitmap(), nullptr);
  PlayWithoutEditor(*early);
  PlayWithoutEditor(*plug);

  const std::vector<Pixel32> late = Picture(*plug->GetEditor());
  EXPECT_TRUE(plug->GetEditor()->HoldsBitmaps());
  EXPECT_EQ(plug->GetEditor()->DrawBitmap()->Width(), Editor::kDefaultWidth);
  EXPECT_EQ(plug->GetEditor()->DrawBitmap()->Height(), Editor::kDefaultHeight);
  EXPECT_TRUE(late == Picture(*early->GetEditor()));
}
