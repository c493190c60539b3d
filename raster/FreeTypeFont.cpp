// Linux native fonts: fontconfig chooses the face, FreeType renders glyphs.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include <cstddef>
#include <cstring>
#include <mutex>
#include <new>

#include "raster/GlyphSource.h"
#include "raster/RasterFont.h"

namespace {

struct FreeTypeFont {
  FT_Face face = nullptr;
  bool monochrome = false;
  bool embolden = false;  // fontconfig found no bold face
  bool slant = false;     // fontconfig found no italic face
  int32_t baseline = 0;   // ascender in pixels from the top of the cell
  int32_t lineHeight = 0;
};

// One FreeType library per process, alive while any face is. FreeType wants
// face creation and destruction serialised per library.
std::mutex libraryLock;
FT_Library library = nullptr;
int32_t libraryUsers = 0;

FT_Face OpenFace(const char* path, int index) {
  std::lock_guard<std::mutex> hold(libraryLock);
  if (libraryUsers == 0 && FT_Init_FreeType(&library) != 0) return nullptr;
  FT_Face face = nullptr;
  if (FT_New_Face(library, path, index, &face) != 0) face = nullptr;
  if (face) {
    ++libraryUsers;
  } else if (libraryUsers == 0) {
    FT_Done_FreeType(library);
    library = nullptr;
  }
  return face;
}

void CloseFace(FT_Face face) {
  std::lock_guard<std::mutex> hold(libraryLock);
  FT_Done_Face(face);
  if (--libraryUsers == 0) {
    FT_Done_FreeType(library);
    library = nullptr;
  }
}

// fontconfig's default configuration would be created through this module
// and never freed when a host unloads it (about 275 KB each time), so the
// module loads a configuration of its own and frees it when it unloads.
class ModuleFontConfig {
public:
  ~ModuleFontConfig() {
    if (config_) FcConfigDestroy(config_);
  }
  // Null when fontconfig has no usable configuration.
  FcConfig* Get() {
    std::lock_guard<std::mutex> hold(lock_);
    if (!config_ && !failed_) {
      config_ = FcInitLoadConfigAndFonts();
      failed_ = config_ == nullptr;
    }
    return config_;
  }

private:
  std::mutex lock_;
  FcConfig* config_ = nullptr;
  bool failed_ = false;
};
ModuleFontConfig moduleFontConfig;

struct FaceChoice {
  char path[4096] = {};
  int index = 0;
  bool embolden = false;
  bool slant = false;
};

bool ChooseFace(const FontRequest& request, FaceChoice* choice) {
  FcConfig* config = moduleFontConfig.Get();
  if (!config) return false;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  const char* family = request.faceName && request.faceName[0] ? request.faceName : "sans-serif";
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddDouble(pattern, FC_PIXEL_SIZE, request.pixelHeight);
  FcPatternAddInteger(pattern, FC_WEIGHT, request.weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return false;

  bool found = false;
  FcChar8* file = nullptr;
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file &&
      std::strlen(reinterpret_cast<const char*>(file)) < sizeof(choice->path)) {
    std::strcpy(choice->path, reinterpret_cast<const char*>(file));
    found = true;
  }
  int index = 0;
  if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) choice->index = index;
  FcBool embolden = FcFalse;
  if (FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden) == FcResultMatch) {
    choice->embolden = embolden == FcTrue;
  }
  int slant = FC_SLANT_ROMAN;
  FcPatternGetInteger(match, FC_SLANT, 0, &slant);
  choice->slant = request.italic && slant == FC_SLANT_ROMAN;
  FcPatternDestroy(match);
  return found;
}

// Like a Windows font made with a positive height, the requested pixel height
// is the cell (ascender + descender), not the em.
bool SizeFace(FT_Face face, int32_t pixelHeight) {
  FT_Size_RequestRec request{};
  request.type = FT_SIZE_REQUEST_TYPE_REAL_DIM;
  request.height = FT_Long(pixelHeight) * 64;
  return FT_Request_Size(face, &request) == 0;
}

const FreeTypeFont* AsFont(NativeFontHandle handle) { return static_cast<const FreeTypeFont*>(handle); }

uint8_t CoverageAt(const FT_Bitmap& bitmap, int32_t column, const uint8_t* row) {
  if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) return (row[column >> 3] & (0x80 >> (column & 7))) ? 255 : 0;
  return row[column];
}

// Copies the rendered glyph into the cell, clipped to it.
void PlaceGlyph(const FT_GlyphSlot slot, int32_t baseline, uint8_t* cell, int32_t cellWidth, int32_t cellHeight) {
  const FT_Bitmap& bitmap = slot->bitmap;
  if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO && bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return;
  const int32_t rows = int32_t(bitmap.rows), width = int32_t(bitmap.width);
  const int32_t pitch = bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch;
  for (int32_t r = 0; r < rows; ++r) {
    const int32_t y = baseline - slot->bitmap_top + r;
    if (y < 0 || y >= cellHeight) continue;
    const int32_t stored = bitmap.pitch < 0 ? rows - 1 - r : r;
    const uint8_t* row = bitmap.buffer + ptrdiff_t(stored) * pitch;
    for (int32_t c = 0; c < width; ++c) {
      const int32_t x = slot->bitmap_left + c;
      if (x < 0 || x >= cellWidth) continue;
      cell[ptrdiff_t(y) * cellWidth + x] = CoverageAt(bitmap, c, row);
    }
  }
}

}  // namespace

NativeFontHandle CreateNativeFont(const FontRequest& request) {
  if (request.pixelHeight <= 0 || request.pixelHeight > 2048) return nullptr;
  FaceChoice choice;
  if (!ChooseFace(request, &choice)) return nullptr;
  FT_Face face = OpenFace(choice.path, choice.index);
  if (!face) return nullptr;
  auto* font = new (std::nothrow) FreeTypeFont;
  if (!font || !FT_IS_SCALABLE(face) || !SizeFace(face, request.pixelHeight)) {
    delete font;
    CloseFace(face);
    return nullptr;
  }
  font->face = face;
  font->monochrome = request.quality == 1;
  font->embolden = choice.embolden && request.weight >= 600;
  font->slant = choice.slant;
  const FT_Size_Metrics& metrics = face->size->metrics;
  font->baseline = int32_t((metrics.ascender + 63) >> 6);
  font->lineHeight = font->baseline + int32_t((-metrics.descender + 63) >> 6);
  return font;
}

void DeleteNativeFont(NativeFontHandle handle) {
  auto* font = static_cast<FreeTypeFont*>(handle);
  if (!font) return;
  CloseFace(font->face);
  delete font;
}

int32_t NativeFontLineHeight(NativeFontHandle handle) { return handle ? AsFont(handle)->lineHeight : 0; }

bool NativeFontHasChar(NativeFontHandle handle, uint32_t code) {
  const FreeTypeFont* font = AsFont(handle);
  return font && FT_Get_Char_Index(font->face, code) != 0;
}

bool RenderNativeGlyph(NativeFontHandle handle, uint32_t code, GrowBuf* pixels, GlyphImage* image) {
  const FreeTypeFont* font = AsFont(handle);
  if (!font || !pixels || !image || font->lineHeight < 1) return false;
  FT_Face face = font->face;
  const FT_Int32 target = font->monochrome ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL;
  if (FT_Load_Glyph(face, FT_Get_Char_Index(face, code), FT_LOAD_DEFAULT | target) != 0) return false;
  FT_GlyphSlot slot = face->glyph;
  if (font->slant && slot->format == FT_GLYPH_FORMAT_OUTLINE) FT_GlyphSlot_Oblique(slot);
  if (font->embolden) FT_GlyphSlot_Embolden(slot);
  if (FT_Render_Glyph(slot, font->monochrome ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) {
    return false;
  }
  const int32_t advance = int32_t((slot->advance.x + 32) >> 6);
  image->advance = advance < 0 ? 0 : advance;
  image->maskWidth = image->advance + ((code >= 'A' && code <= 'Z') ? 2 : 0);
  image->maskHeight = font->lineHeight;
  if (image->maskWidth < 1) return true;

  const int32_t oldSize = pixels->Size();
  const int64_t maskBytes = int64_t(image->maskWidth) * image->maskHeight;
  if (maskBytes > INT32_MAX - int64_t(oldSize) || !pixels->ResizeZeroed(oldSize + int32_t(maskBytes), false)) {
    return false;
  }
  PlaceGlyph(slot, font->baseline, pixels->Data() + oldSize, image->maskWidth, image->maskHeight);
  return true;
}
