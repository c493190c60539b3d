#include "graphics/EditorSnapshot.h"

#include <cstdio>
#include <vector>

#include "graphics/Editor.h"
#include "platform/Files.h"
#include "raster/PngEncode.h"
#include "raster/RasterBitmap.h"

namespace {

// The bitmap's rows, top first, as R, G, B bytes with opaque alpha.
struct SnapshotRows {
  const RasterBitmap* bitmap;
  uint8_t* row;
};

const uint8_t* SnapshotRow(void* context, int32_t y) {
  const auto* rows = static_cast<const SnapshotRows*>(context);
  const RasterBitmap& bitmap = *rows->bitmap;
  const int32_t storedRow = bitmap.IsBottomUp() ? bitmap.Height() - 1 - y : y;
  const Pixel32* pixels = bitmap.PixelData() + int64_t(storedRow) * bitmap.RowSpan();
  for (int32_t x = 0; x < bitmap.Width(); ++x) {
    const Pixel32 p = pixels[x];
    rows->row[4 * x + 0] = uint8_t(p >> 16);
    rows->row[4 * x + 1] = uint8_t(p >> 8);
    rows->row[4 * x + 2] = uint8_t(p);
    rows->row[4 * x + 3] = 0xFF;
  }
  return rows->row;
}

}  // namespace

bool SaveEditorPng(Editor& editor, const char* path) {
  if (!path || !*path) return false;
  if (!editor.DrawBitmap()) editor.PrepareDrawing();
  for (int32_t i = 0; i < editor.ControlCount(); ++i) editor.ControlAt(i)->MarkDirty(false);
  editor.DrawControls(PixelRect{0, 0, editor.Width(), editor.Height()});

  const RasterBitmap* bitmap = editor.DrawBitmap();
  if (!bitmap || !bitmap->PixelData() || bitmap->Width() <= 0 || bitmap->Height() <= 0) return false;
  std::vector<uint8_t> row(size_t(bitmap->Width()) * 4);
  FILE* file = platform::OpenFile(path, "wb");
  if (!file) return false;
  SnapshotRows rows{bitmap, row.data()};
  const bool written = WritePngRows(file, bitmap->Width(), bitmap->Height(), true, SnapshotRow, &rows);
  const bool closed = std::fclose(file) == 0;
  if (!(written && closed)) std::remove(path);
  return written && closed;
}
