// Checks of the Windows platform layer that only a Windows process can make:
// run under Wine by run-wine-tests.sh.
//   thudra-wine-probe resources MODULE IMAGE_FOLDER
//   thudra-wine-probe platform SCRATCH_FOLDER
//   thudra-wine-probe raster
//   thudra-wine-probe editor MODULE OUT.bmp
//   thudra-wine-probe mouse MODULE BEFORE.bmp AFTER.bmp
//   thudra-wine-probe keys|middle|menu MODULE
//   thudra-wine-probe entry | marks
//   thudra-wine-probe documents      (prints the documents folder)
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "graphics/win/WinEditor.h"
#include "instrument/Thudrix.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Lock.h"
#include "platform/win32/Utf.h"
#include "presets/PresetFiles.h"
#include "raster/GlyphSource.h"
#include "raster/RasterBitmap.h"
#include "raster/RasterFont.h"
#include "raster/win/SystemText.h"
#include "tests/graphics/GraphicsTestSupport.h"
#include "vst2/VstAbi.h"

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  if (!ok) ++failures;
}

std::vector<char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int Resources(const char* modulePath, const std::string& images) {
  HMODULE module = LoadLibraryExA(modulePath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  Check(module != nullptr, "module loads as data");
  if (!module) return 1;
  static const char* const kNames[] = {
      "knobthd_64Frames.png", "backgroundPro.png", "triggerthd.png", "kyb.png", "led.png", "learn.png", "clear.png",
      "presetLeft.png",       "presetRight.png"};
  for (int i = 0; i < 9; ++i) {
    const int id = 101 + i;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), "PNG");
    const std::vector<char> expected = ReadFile(images + "/" + kNames[i]);
    bool same = false;
    if (found) {
      const DWORD size = SizeofResource(module, found);
      const void* data = LockResource(LoadResource(module, found));
      same = data && size == expected.size() && std::memcmp(data, expected.data(), size) == 0;
    }
    Check(same, "PNG resource " + std::to_string(id) + " holds " + kNames[i]);
  }
  Check(FindResourceA(module, MAKEINTRESOURCEA(110), "PNG") == nullptr, "PNG resource 110 is absent");
  HRSRC manifest = FindResourceA(module, MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(24));
  bool asInvoker = false;
  DWORD manifestSize = 0;
  if (manifest) {
    manifestSize = SizeofResource(module, manifest);
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
    asInvoker = text && std::string(text, manifestSize).find("level=\"asInvoker\"") != std::string::npos;
  }
  Check(manifest && manifestSize == 381 && asInvoker, "manifest (type 24, id 2) asks for asInvoker");
  FreeLibrary(module);
  return failures ? 1 : 0;
}

int Platform(const std::string& scratch) {
  // Names outside ASCII go through UTF-16 and back.
  const std::string folder = scratch + "\\list\\";
  CreateDirectoryA((scratch + "\\list").c_str(), nullptr);
  const char* const kFiles[] = {"beta.tvpreset", "Alpha.tvpreset", "\xc3\xa9t\xc3\xa9.tvpreset", "gamma"};
  for (const char* name : kFiles)
    Check(platform::ReplaceFileContents(folder + name, "Pitch=0.5\n"), std::string("write ") + name);
  CreateDirectoryA((folder + "Sub").c_str(), nullptr);
  const std::vector<platform::FolderEntry> entries = platform::ListFolder(folder);
  std::string order;
  for (const auto& entry : entries) order += entry.name + (entry.isFolder ? "/" : "") + "|";
  Check(order == "Alpha.tvpreset|beta.tvpreset|gamma|Sub/|\xc3\xa9t\xc3\xa9.tvpreset|",
        "folder listed case-blind with UTF-8 names: " + order);
  Check(platform::ListFolder(scratch + "\\missing\\").empty(), "a missing folder lists nothing");

  const std::string target = folder + "beta.tvpreset";
  Check(platform::ReplaceFileContents(target, "Pitch=0.25\n"), "replace an existing file");
  const std::vector<char> text = ReadFile(target);
  Check(std::string(text.begin(), text.end()) == "Pitch=0.25\n", "the replaced file holds the new bytes");
  Check(platform::ListFolder(folder).size() == entries.size(), "no temporary file is left behind");
  Check(!platform::ReplaceFileContents(scratch + "\\no such folder\\x.tvpreset", "x"),
        "writing into a missing folder fails");
  Check(platform::IsRegularFile(target), "a preset file is a regular file");
  Check(!platform::IsRegularFile(folder + "Sub"), "a folder is not a regular file");
  Check(!platform::IsRegularFile("CON"), "a device name is not a regular file");

  uint64_t v1 = 0, i1 = 0, v2 = 0, i2 = 0;
  Check(platform::FolderIdentity(folder, v1, i1) && platform::FolderIdentity(folder + "Sub\\..\\", v2, i2) &&
            v1 == v2 && i1 == i2,
        "one folder reached two ways has one identity");
  Check(!platform::FolderIdentity(target, v1, i1), "a file has no folder identity");

  // A replaced file keeps its attributes (as a replaced POSIX file keeps its mode).
  const std::wstring hidden = platform::WideFromUtf8(folder + "hidden.tvpreset");
  Check(platform::ReplaceFileContents(folder + "hidden.tvpreset", "Pitch=0.5\n") &&
            SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN) &&
            platform::ReplaceFileContents(folder + "hidden.tvpreset", "Pitch=0.75\n"),
        "replace a hidden file");
  Check((GetFileAttributesW(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0, "the replaced file stays hidden");

  // Saving through a symbolic link replaces the file it names; the link stays.
  const std::wstring link = platform::WideFromUtf8(folder + "link.tvpreset");
  // Wine answers success without making one, so the link is looked at first.
  const DWORD kReparse = FILE_ATTRIBUTE_REPARSE_POINT;
  if (CreateSymbolicLinkW(link.c_str(), platform::WideFromUtf8(target).c_str(), 0x2) &&
      GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES && (GetFileAttributesW(link.c_str()) & kReparse)) {
    Check(platform::ReplaceFileContents(folder + "link.tvpreset", "Pitch=0.125\n"), "save through a link");
    const std::vector<char> linked = ReadFile(target);
    Check(std::string(linked.begin(), linked.end()) == "Pitch=0.125\n", "the link's target holds the new bytes");
    Check((GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0, "the link is still a link");
  } else {
    std::printf("skip symbolic links: this system does not make them\n");
  }

  Check(platform::MakeFolders(scratch + "\\made\\a\\b\\") && platform::MakeFolders(scratch + "\\made\\a\\b\\"),
        "nested folders are made, and making them again succeeds");
  Check(!platform::MakeFolders(target + "\\inside\\"), "no folder below a file");

  // Preset files are written with CR LF line ends and read back.
  SetPresetRootFolder(scratch + "\\presets\\");
  {
    Thudrix plug(nullptr);
    plug.SetParameterFromHost(kParamDecay, 0.25f);
    const std::string preset = folder + "crlf.tvpreset";
    Check(SavePresetFile(plug, preset), "save a preset file");
    const std::vector<char> bytes = ReadFile(preset);
    const std::string written(bytes.begin(), bytes.end());
    size_t crlf = 0, lf = 0;
    for (size_t i = 0; i < written.size(); ++i) {
      if (written[i] != '\n') continue;
      ++lf;
      if (i > 0 && written[i - 1] == '\r') ++crlf;
    }
    Check(lf == 17 && crlf == 17, "a preset file has 17 lines, each ended by CR LF");
    Thudrix other(nullptr);
    Check(LoadPresetFile(other, preset) && other.ParamAt(kParamDecay)->Value() == plug.ParamAt(kParamDecay)->Value(),
          "a CR LF preset file loads back");
  }

  const std::string documents = platform::DocumentsFolder();
  Check(!documents.empty() && documents.back() != '\\', "documents folder: " + documents);

  RecursiveLock lock;
  lock.Enter();
  Check(lock.TryEnter(), "the instance lock is re-entrant");
  lock.Leave();
  lock.Leave();
  return failures ? 1 : 0;
}

int Raster() {
  SysBitmap bitmap(5, 3);
  Check(bitmap.DeviceContext() != nullptr && bitmap.PixelData() != nullptr, "a system bitmap has a DC and pixels");
  Check(bitmap.RowSpan() == 8, "rows of a 5-pixel system bitmap span 8 pixels");
  HDC dc = static_cast<HDC>(bitmap.DeviceContext());
  SetPixelV(dc, 1, 2, RGB(10, 20, 30));
  GdiFlush();
  Check((bitmap.PixelData()[2 * bitmap.RowSpan() + 1] & 0xFFFFFF) == 0x0A141E,
        "GDI and the raster code see the same top-down 0xRRGGBB pixel");
  bitmap.SetSize(3, 3);
  Check(bitmap.RowSpan() == 8 && bitmap.Width() == 3, "shrinking keeps the DIB section");
  SysBitmap empty;
  Check(empty.DeviceContext() != nullptr && empty.PixelData() == nullptr, "an empty system bitmap still has its DC");

  Check(RunningUnderWine(), "the Wine probe finds Software\\Wine");
  FontRequest request;
  request.pixelHeight = 16;
  request.weight = 700;
  request.quality = 1;
  NativeFontHandle handle = CreateNativeFont(request);
  Check(handle != nullptr, "CreateFontA gives a font");
  if (!handle) return 1;
  CachedFont font;
  font.AttachNativeFont(handle, FontOwnsHandle | FontPreferSystemText);
  Check(font.LineHeight() > 0, "line height " + std::to_string(font.LineHeight()));
  Check(NativeFontHasChar(handle, 'A') && !NativeFontHasChar(handle, 0x0378),
        "the font tells a character it has from an unassigned one");
  const GlyphRecord* capital = font.Glyph('A');
  const GlyphRecord* small = font.Glyph('a');
  Check(capital && capital->maskPosition > 0 && capital->maskWidth == capital->advance + 2,
        "a capital's mask is two pixels wider than its advance");
  Check(small && small->maskPosition > 0 && small->maskWidth == small->advance,
        "a lower-case letter's mask is as wide as its advance");
  int covered = 0;
  if (capital && capital->maskPosition > 0) {
    const uint8_t* mask = font.GlyphMask(*capital);
    for (int i = 0; mask && i < capital->maskWidth * capital->maskHeight; ++i) covered += mask[i] == 255;
  }
  Check(covered > 10, "the glyph mask has covered pixels (non-antialiased: 255)");

  // Under Wine the glyph route draws, even into a bitmap with a DC.
  SysBitmap target(64, 24);
  std::memset(target.PixelData(), 0xFF, size_t(target.RowSpan()) * 24 * 4);
  font.ChangeTextColor(0xFF000000);
  RasterRect rect{0, 0, 64, 24};
  const int32_t height = font.RenderText(&target, "Thudra", -1, &rect, TextNoClip);
  int dark = 0;
  for (int i = 0; i < target.RowSpan() * 24; ++i) dark += (target.PixelData()[i] & 0xFFFFFF) == 0;
  Check(height > 0 && dark > 10, "text drawn through the glyph route");

  // The system route, as Windows takes it, draws with GDI into the DC.
  SysBitmap direct(64, 24);
  std::memset(direct.PixelData(), 0xFF, size_t(direct.RowSpan()) * 24 * 4);
  const SystemTextState state{handle, 0xFF000000, 0xFFFFFFFF, BackTransparent, 1.0f};
  RasterRect measured{0, 0, 0, 0};
  const int32_t measuredHeight =
      SystemRenderText(state, &direct, "Thudra", -1, &measured, TextMeasureOnly | TextSingleLine);
  Check(measuredHeight > 0 && measured.right > 0, "the system route measures text");
  RasterRect area{0, 0, 64, 24};
  SystemRenderText(state, &direct, "Thudra", -1, &area, TextSingleLine);
  int drawn = 0;
  for (int i = 0; i < direct.RowSpan() * 24; ++i) drawn += (direct.PixelData()[i] & 0xFFFFFF) != 0xFFFFFF;
  Check(drawn > 10, "the system route draws into the bitmap's DC");
  MemBitmap plain(64, 24);
  std::memset(plain.PixelData(), 0xFF, size_t(plain.RowSpan()) * 24 * 4);
  RasterRect plainArea{0, 0, 64, 24};
  SystemRenderText(state, &plain, "\xc3\xa9t\xc3\xa9", -1, &plainArea, TextSingleLine | TextCenter);
  int plainDrawn = 0;
  for (int i = 0; i < plain.RowSpan() * 24; ++i) plainDrawn += (plain.PixelData()[i] & 0xFFFFFF) != 0xFFFFFF;
  Check(plainDrawn > 5, "the system route draws UTF-8 text into a bitmap without a DC");
  return failures ? 1 : 0;
}

struct HostCall {
  int32_t opcode;
  int32_t index;
  float value;
};
// Every call the module makes to the host, in order (one thread only).
std::vector<HostCall> hostCalls;

intptr_t HostCallback(vst2::VstEffect*, int32_t opcode, int32_t index, intptr_t, void*, float value) {
  hostCalls.push_back(HostCall{opcode, index, value});
  return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

bool SaveBmp(HDC source, int width, int height, const char* path) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files are
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dib) return false;
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(memory, dib);
  BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
  GdiFlush();
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + DWORD(width) * height * 4;
  FILE* out = std::fopen(path, "wb");
  bool ok = out && std::fwrite(&file, sizeof file, 1, out) == 1 &&
            std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
            std::fwrite(bits, size_t(width) * height * 4, 1, out) == 1;
  if (out) ok = std::fclose(out) == 0 && ok;
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(dib);
  return ok;
}

void Pump(DWORD milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  while (int32_t(end - GetTickCount()) > 0) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(5);
  }
}

int EditorWindow(const char* modulePath, const char* outPath) {
  HMODULE module = LoadLibraryA(modulePath);
  auto* entry =
      module
          ? reinterpret_cast<vst2::VstPluginMainProc>(reinterpret_cast<void*>(GetProcAddress(module, "VSTPluginMain")))
          : nullptr;
  Check(entry != nullptr, "VSTPluginMain found");
  if (!entry) return 1;
  vst2::VstEffect* effect = entry(HostCallback);
  Check(effect && effect->magic == vst2::kEffectMagic, "an instance is created");
  if (!effect) return 1;
  effect->dispatcher(effect, vst2::effOpen, 0, 0, nullptr, 0.0f);
  vst2::ERect* rect = nullptr;
  effect->dispatcher(effect, vst2::effEditGetRect, 0, 0, &rect, 0.0f);
  const int width = rect ? rect->right - rect->left : 0, height = rect ? rect->bottom - rect->top : 0;
  Check(width == 592 && height == 442, "editor rectangle 592 x 442");

  WNDCLASSA hostClass{};
  hostClass.lpfnWndProc = DefWindowProcA;
  hostClass.hInstance = GetModuleHandleA(nullptr);
  hostClass.lpszClassName = "ProbeHostWindow";
  RegisterClassA(&hostClass);
  HWND host = CreateWindowExA(0, "ProbeHostWindow", "Thudra", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
  Check(host != nullptr, "host window");
  const intptr_t opened = effect->dispatcher(effect, vst2::effEditOpen, 0, 0, host, 0.0f);
  HWND child = FindWindowExA(host, nullptr, "PlugWndClass", "Plug");
  Check(opened == 1 && child != nullptr, "the editor opens a \"PlugWndClass\" child window");
  Pump(600);  // several 40 ms ticks: everything is painted
  if (child) {
    HDC dc = GetDC(child);
    Check(SaveBmp(dc, width, height, outPath), std::string("screenshot saved to ") + outPath);
    ReleaseDC(child, dc);
    // A second open replaces the window in place.
    effect->dispatcher(effect, vst2::effEditOpen, 0, 0, host, 0.0f);
    HWND again = FindWindowExA(host, nullptr, "PlugWndClass", "Plug");
    Check(again != nullptr && FindWindowExA(host, again, "PlugWndClass", "Plug") == nullptr,
          "opening again leaves one editor window");
  }
  effect->dispatcher(effect, vst2::effEditClose, 0, 0, nullptr, 0.0f);
  Check(FindWindowExA(host, nullptr, "PlugWndClass", "Plug") == nullptr, "closing destroys the window");
  WNDCLASSA probe{};
  Check(!GetClassInfoA(module, "PlugWndClass", &probe), "the window class is gone with the last window");
  effect->dispatcher(effect, vst2::effClose, 0, 0, nullptr, 0.0f);
  DestroyWindow(host);
  FreeLibrary(module);
  return failures ? 1 : 0;
}

vst2::VstEffect* CreateEffect(HMODULE module) {
  auto* entry =
      module
          ? reinterpret_cast<vst2::VstPluginMainProc>(reinterpret_cast<void*>(GetProcAddress(module, "VSTPluginMain")))
          : nullptr;
  Check(entry != nullptr, "VSTPluginMain found");
  vst2::VstEffect* effect = entry ? entry(HostCallback) : nullptr;
  Check(effect && effect->magic == vst2::kEffectMagic, "an instance is created");
  return effect;
}

// Positions of the first and last host calls with this opcode and index; -1 if none.
void FindCalls(int32_t opcode, int32_t index, int& first, int& last, int& count) {
  first = last = -1;
  count = 0;
  for (int i = 0; i < int(hostCalls.size()); ++i) {
    if (hostCalls[i].opcode != opcode || hostCalls[i].index != index) continue;
    if (first < 0) first = i;
    last = i;
    ++count;
  }
}

// One gesture on a parameter: its begin, at least one automation, its end,
// in that order.
void CheckGesture(int32_t index, size_t since, bool changesOnPress, const std::string& what) {
  const std::vector<HostCall> all = hostCalls;
  hostCalls.assign(all.begin() + long(since), all.end());
  int beginFirst, beginLast, beginCount, autoFirst, autoLast, autoCount, endFirst, endLast, endCount;
  FindCalls(vst2::audioMasterBeginEdit, index, beginFirst, beginLast, beginCount);
  FindCalls(vst2::audioMasterAutomate, index, autoFirst, autoLast, autoCount);
  FindCalls(vst2::audioMasterEndEdit, index, endFirst, endLast, endCount);
  hostCalls = all;
  const std::string counts = " (begin " + std::to_string(beginCount) + ", automate " + std::to_string(autoCount) +
                             ", end " + std::to_string(endCount) + ")";
  Check(beginCount == 1 && endCount == 1 && autoCount >= 1,
        what + ": the host hears one begin, automation and one end for parameter " + std::to_string(index) + counts);
  if (!changesOnPress) {
    // A knob changes nothing on the press: every automation is inside the gesture.
    Check(beginFirst >= 0 && beginFirst < autoFirst && autoLast < endFirst,
          what + ": begin, automate, end arrive in that order");
  } else {
    // A switch changes on the press, which reaches the host before the begin.
    Check(autoFirst >= 0 && beginFirst >= 0 && endFirst > beginFirst && endFirst > autoLast,
          what + ": the gesture ends after its automation");
  }
}

bool SaveWindow(HWND window, int width, int height, const char* path) {
  HDC dc = GetDC(window);
  const bool ok = SaveBmp(dc, width, height, path);
  ReleaseDC(window, dc);
  return ok;
}

LRESULT Send(HWND window, UINT message, WPARAM keys, int x, int y) {
  return SendMessageA(window, message, keys, MAKELPARAM(x, y));
}

// Turns the Decay knob up and clicks the tune-by-MIDI switch with mouse
// messages to the editor's window, with screenshots before and after.
int MouseInput(const char* modulePath, const char* beforePath, const char* afterPath) {
  constexpr int32_t kDecay = 2, kMidiTuneFlag = 9;
  constexpr int kKnobX = 420, kKnobY = 152, kSwitchX = 56, kSwitchY = 178;
  constexpr int kSteps = 8, kStepPixels = 5;
  // 50-pixel knob frames, gearing 4: the value moves by pixels / 200.
  constexpr double kExpectedRise = double(kSteps * kStepPixels) / (50.0 * 4.0);

  HMODULE module = LoadLibraryA(modulePath);
  vst2::VstEffect* effect = CreateEffect(module);
  if (!effect) return 1;
  effect->dispatcher(effect, vst2::effOpen, 0, 0, nullptr, 0.0f);
  vst2::ERect* rect = nullptr;
  effect->dispatcher(effect, vst2::effEditGetRect, 0, 0, &rect, 0.0f);
  const int width = rect ? rect->right - rect->left : 0, height = rect ? rect->bottom - rect->top : 0;

  WNDCLASSA hostClass{};
  hostClass.lpfnWndProc = DefWindowProcA;
  hostClass.hInstance = GetModuleHandleA(nullptr);
  hostClass.lpszClassName = "ProbeHostWindow";
  RegisterClassA(&hostClass);
  HWND host = CreateWindowExA(0, "ProbeHostWindow", "Thudra", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
  // The display's pointer stays off the window: only our messages move it.
  SetCursorPos(width + 100, height + 100);
  effect->dispatcher(effect, vst2::effEditOpen, 0, 0, host, 0.0f);
  HWND child = host ? FindWindowExA(host, nullptr, "PlugWndClass", "Plug") : nullptr;
  Check(child != nullptr, "the editor opens a \"PlugWndClass\" child window");
  if (!child) return 1;
  Pump(600);
  Check(SaveWindow(child, width, height, beforePath),
        std::string("screenshot before the input saved to ") + beforePath);

  const float decayBefore = effect->getParameter(effect, kDecay);
  const float tuneBefore = effect->getParameter(effect, kMidiTuneFlag);
  Check(decayBefore <= 1.0f - float(kExpectedRise) - 0.05f,
        "Decay starts low enough to rise: " + std::to_string(decayBefore));
  Check(tuneBefore == 0.0f, "MidiTuneFlag starts at 0: " + std::to_string(tuneBefore));

  // The knob: press, drag up in steps with the 40 ms timer running, release.
  size_t mark = hostCalls.size();
  Send(child, WM_LBUTTONDOWN, MK_LBUTTON, kKnobX, kKnobY);
  Pump(50);
  Check(GetCapture() == child, "a press on the knob captures the mouse");
  for (int step = 1; step <= kSteps; ++step) {
    Send(child, WM_MOUSEMOVE, MK_LBUTTON, kKnobX, kKnobY - step * kStepPixels);
    Pump(45);
  }
  // A move without the button held turns nothing.
  Send(child, WM_MOUSEMOVE, 0, kKnobX, kKnobY - 100);
  Send(child, WM_LBUTTONUP, 0, kKnobX, kKnobY - kSteps * kStepPixels);
  Pump(100);
  Check(GetCapture() == nullptr, "the release lets the mouse go");
  const float decayAfter = effect->getParameter(effect, kDecay);
  Check(std::fabs((decayAfter - decayBefore) - kExpectedRise) < 0.005,
        "dragging 40 pixels up raises Decay by 0.2: " + std::to_string(decayBefore) + " -> " +
            std::to_string(decayAfter));
  CheckGesture(kDecay, mark, false, "the knob");
  int autoFirst, autoLast, autoCount;
  FindCalls(vst2::audioMasterAutomate, kDecay, autoFirst, autoLast, autoCount);
  Check(autoLast >= 0 && std::fabs(hostCalls[size_t(autoLast)].value - decayAfter) < 1e-6f,
        "the last automation carries the new Decay value");
  bool othersQuiet = true;
  for (size_t i = mark; i < hostCalls.size(); ++i) {
    const HostCall& call = hostCalls[i];
    if (call.opcode == vst2::audioMasterAutomate && call.index != kDecay) othersQuiet = false;
  }
  Check(othersQuiet, "the knob automates no other parameter");

  // A move after the release, button flag or not, leaves the knob alone.
  Send(child, WM_MOUSEMOVE, MK_LBUTTON, kKnobX, kKnobY - 80);
  Pump(50);
  Check(effect->getParameter(effect, kDecay) == decayAfter, "a move without capture turns nothing");

  // The switch: a click toggles it.
  mark = hostCalls.size();
  Send(child, WM_LBUTTONDOWN, MK_LBUTTON, kSwitchX, kSwitchY);
  Pump(50);
  Send(child, WM_LBUTTONUP, 0, kSwitchX, kSwitchY);
  Pump(100);
  const float tuneAfter = effect->getParameter(effect, kMidiTuneFlag);
  Check(tuneAfter == 1.0f, "a click on the tune-by-MIDI switch sets MidiTuneFlag: " + std::to_string(tuneAfter));
  CheckGesture(kMidiTuneFlag, mark, true, "the switch");
  Check(effect->getParameter(effect, kDecay) == decayAfter, "the click leaves Decay alone");

  Pump(600);  // the timer redraws what changed
  Check(SaveWindow(child, width, height, afterPath), std::string("screenshot after the input saved to ") + afterPath);

  effect->dispatcher(effect, vst2::effEditClose, 0, 0, nullptr, 0.0f);
  effect->dispatcher(effect, vst2::effClose, 0, 0, nullptr, 0.0f);
  DestroyWindow(host);
  FreeLibrary(module);
  return failures ? 1 : 0;
}

// The messages a stand-in host window receives.
std::vector<MSG> hostMessages;

LRESULT CALLBACK RecordingHostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_KEYFIRST && message <= WM_KEYLAST) {
    MSG record{};
    record.hwnd = window;
    record.message = message;
    record.wParam = wParam;
    record.lParam = lParam;
    hostMessages.push_back(record);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// An instance with its editor open in a top-level stand-in host window.
struct OpenedEditor {
  HMODULE module = nullptr;
  vst2::VstEffect* effect = nullptr;
  HWND host = nullptr;
  HWND child = nullptr;
  int width = 0, height = 0;

  bool Open(const char* modulePath, WNDPROC hostProcedure) {
    module = LoadLibraryA(modulePath);
    effect = CreateEffect(module);
    if (!effect) return false;
    effect->dispatcher(effect, vst2::effOpen, 0, 0, nullptr, 0.0f);
    vst2::ERect* rect = nullptr;
    effect->dispatcher(effect, vst2::effEditGetRect, 0, 0, &rect, 0.0f);
    width = rect ? rect->right - rect->left : 0;
    height = rect ? rect->bottom - rect->top : 0;
    WNDCLASSA hostClass{};
    hostClass.lpfnWndProc = hostProcedure;
    hostClass.hInstance = GetModuleHandleA(nullptr);
    hostClass.lpszClassName = "ProbeStandInHost";
    RegisterClassA(&hostClass);
    host = CreateWindowExA(0, "ProbeStandInHost", "Thudra", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
    SetCursorPos(width + 100, height + 100);
    effect->dispatcher(effect, vst2::effEditOpen, 0, 0, host, 0.0f);
    child = host ? FindWindowExA(host, nullptr, "PlugWndClass", "Plug") : nullptr;
    Check(child != nullptr, "the editor opens in the stand-in host window");
    return child != nullptr;
  }

  ~OpenedEditor() {
    if (effect) {
      effect->dispatcher(effect, vst2::effEditClose, 0, 0, nullptr, 0.0f);
      effect->dispatcher(effect, vst2::effClose, 0, 0, nullptr, 0.0f);
    }
    if (host) DestroyWindow(host);
    if (module) FreeLibrary(module);
  }
};

// Pumps messages until `done` holds or the time is up; true if it held.
template <typename Condition>
bool PumpUntil(Condition done, DWORD milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (done()) return true;
    const int32_t left = int32_t(end - GetTickCount());
    if (left <= 0) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(left), QS_ALLINPUT);
  }
}

LPARAM KeyParam(UINT virtualKey, bool release, bool alt) {
  const UINT scan = MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
  LPARAM value = 1 | (LPARAM(scan & 0xFF) << 16);
  if (alt) value |= LPARAM(1) << 29;
  if (release) value |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
  return value;
}

// Keys over the editor that it does not use reach the host's window: the
// presses, the characters the message loop makes of them, the releases and
// the system keys, each once and in order.
int Keys(const char* modulePath) {
  OpenedEditor opened;
  if (!opened.Open(modulePath, RecordingHostProcedure)) return 1;
  HWND child = opened.child;
  Pump(100);
  hostMessages.clear();
  struct Sent {
    UINT message;
    WPARAM key;
    LPARAM param;
  };
  const Sent sent[] = {
      {WM_KEYDOWN, VK_SPACE, KeyParam(VK_SPACE, false, false)}, {WM_KEYUP, VK_SPACE, KeyParam(VK_SPACE, true, false)},
      {WM_KEYDOWN, 'Q', KeyParam('Q', false, false)},           {WM_KEYUP, 'Q', KeyParam('Q', true, false)},
      {WM_KEYDOWN, VK_F12, KeyParam(VK_F12, false, false)},     {WM_KEYUP, VK_F12, KeyParam(VK_F12, true, false)},
      {WM_SYSKEYDOWN, 'X', KeyParam('X', false, true)},         {WM_SYSKEYUP, 'X', KeyParam('X', true, true)},
  };
  // One at a time, through a message loop that makes characters of them.
  for (const Sent& key : sent) {
    const size_t before = hostMessages.size();
    PostMessageA(child, key.message, key.key, key.param);
    PumpUntil([&] { return hostMessages.size() > before; }, 1000);
    Pump(20);  // the character the loop made, if any
  }
  Pump(100);  // nothing more, such as a message twice
  std::string seen;
  for (const MSG& m : hostMessages) {
    char entry[48];
    std::snprintf(entry, sizeof entry, "%04x:%02x ", unsigned(m.message), unsigned(m.wParam & 0xFF));
    seen += entry;
  }
  const std::string expected =
      "0100:20 0102:20 0101:20 0100:51 0102:71 0101:51 0100:7b 0101:7b 0104:58 0106:78 0105:58 ";
  Check(seen == expected, "the host window receives every key message: " + seen);
  bool fromHost = true;
  for (const MSG& m : hostMessages) fromHost = fromHost && m.hwnd == opened.host;
  Check(fromHost, "all of them at the host's top-level window");
  return failures ? 1 : 0;
}

int MiddleClicks(const char* modulePath) {
  constexpr int32_t kDecay = 2, kMidiTuneFlag = 9, kTrigger = 13;
  OpenedEditor opened;
  if (!opened.Open(modulePath, DefWindowProcA)) return 1;
  HWND child = opened.child;
  vst2::VstEffect* effect = opened.effect;
  Pump(300);
  const size_t mark = hostCalls.size();
  struct Place {
    int x, y;
    const char* what;
  };
  const Place places[] = {{519, 139, "the pad"}, {420, 152, "a knob"}, {56, 178, "a switch"}, {402, 29, "an arrow"}};
  for (const Place& place : places) {
    Send(child, WM_MBUTTONDOWN, MK_MBUTTON, place.x, place.y);
    Pump(50);
    Send(child, WM_MBUTTONUP, 0, place.x, place.y);
    Pump(50);
    Check(GetCapture() != child, std::string("a middle click on ") + place.what + " lets the mouse go");
  }
  // A quick second middle click arrives as a double click: still a press.
  Send(child, WM_MBUTTONDOWN, MK_MBUTTON, 519, 139);
  Send(child, WM_MBUTTONUP, 0, 519, 139);
  Send(child, WM_MBUTTONDBLCLK, MK_MBUTTON, 519, 139);
  Send(child, WM_MBUTTONUP, 0, 519, 139);
  Pump(100);
  Check(GetCapture() != child, "a middle double click lets the mouse go");
  Check(effect->getParameter(effect, kTrigger) == 0.0f, "the pad reads off after middle clicks");
  int open = 0;
  for (int32_t index = 0; index < effect->numParams; ++index) {
    int begins = 0, ends = 0;
    for (size_t i = mark; i < hostCalls.size(); ++i) {
      begins += hostCalls[i].opcode == vst2::audioMasterBeginEdit && hostCalls[i].index == index;
      ends += hostCalls[i].opcode == vst2::audioMasterEndEdit && hostCalls[i].index == index;
    }
    if (begins != ends) {
      std::printf("     parameter %d: %d begins, %d ends\n", index, begins, ends);
      ++open;
    }
  }
  Check(open == 0, "every edit the middle clicks began has ended");
  const float decay = effect->getParameter(effect, kDecay);
  Send(child, WM_MOUSEMOVE, MK_MBUTTON, 420, 100);
  Pump(50);
  Check(effect->getParameter(effect, kDecay) == decay, "moving after the middle clicks turns no knob");
  // The next left click acts at once.
  const float tune = effect->getParameter(effect, kMidiTuneFlag);
  Send(child, WM_LBUTTONDOWN, MK_LBUTTON, 56, 178);
  Send(child, WM_LBUTTONUP, 0, 56, 178);
  Pump(50);
  Check(effect->getParameter(effect, kMidiTuneFlag) != tune, "the next left click toggles the switch");
  return failures ? 1 : 0;
}

// The window's pixels in area, copied at once.
std::vector<uint32_t> Pixels(HWND window, const RECT& area) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(memory, dib);
  HDC dc = GetDC(window);
  BitBlt(memory, 0, 0, width, height, dc, area.left, area.top, SRCCOPY);
  GdiFlush();
  ReleaseDC(window, dc);
  const auto* first = static_cast<const uint32_t*>(bits);
  std::vector<uint32_t> pixels(first, first + size_t(width) * height);
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(dib);
  return pixels;
}

// The value entry box of the Windows editor, in-process over a test
// plug-in: its whole text on show, the editor painting and ticking while the
// box has the focus, and a typed value committed by Enter.
int Entry() {
  using namespace graphics_test;
  TestPlug plug;
  plug.ParamAt(kGain)->DefineDouble("Gain", 0.85, 0.0, 1.0, 0.0001);
  auto* editor = new WinEditor(&plug, 300, 200);
  plug.SetEditor(editor);
  editor->SetModuleInstance(GetModuleHandleA(nullptr));
  auto* knob = new ProbeControl(&plug, {20, 20, 80, 80}, kGain);
  knob->SetPromptDisabled(false);
  editor->AddControl(knob);
  auto* other = new ProbeControl(&plug, {200, 20, 260, 80}, kPower);
  editor->AddControl(other);

  WNDCLASSA hostClass{};
  hostClass.lpfnWndProc = DefWindowProcA;
  hostClass.hInstance = GetModuleHandleA(nullptr);
  hostClass.lpszClassName = "ProbeEntryHost";
  RegisterClassA(&hostClass);
  HWND host = CreateWindowExA(0, "ProbeEntryHost", "Entry", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  HWND child = static_cast<HWND>(editor->OpenEditorWindow(host));
  Check(child != nullptr, "the editor opens");
  if (!child) return 1;
  Pump(200);
  Send(child, WM_RBUTTONDOWN, MK_RBUTTON, 50, 50);
  Send(child, WM_RBUTTONUP, 0, 50, 50);
  HWND box = FindWindowExA(child, nullptr, "EDIT", nullptr);
  Check(box != nullptr, "a right click on the control opens the entry box");
  if (!box) return 1;
  wchar_t text[32] = {};
  const int length = GetWindowTextW(box, text, 32);
  Check(std::wstring(text) == L"0.8500", "the box holds the value 0.8500");
  RECT client{};
  GetClientRect(box, &client);
  HDC dc = GetDC(box);
  HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)));
  SIZE extent{};
  GetTextExtentPoint32W(dc, text, length, &extent);
  SelectObject(dc, previous);
  ReleaseDC(box, dc);
  // On screen the selected text is its own colour on the highlight: every
  // column of it must lie inside the box, none cut at an edge.
  Pump(100);
  const std::vector<uint32_t> picture = Pixels(box, client);
  int inkLeft = -1, inkRight = -1, inkTop = -1, inkBottom = -1;
  for (int y = 0; y < client.bottom; ++y) {
    for (int x = 0; x < client.right; ++x) {
      if ((picture[size_t(y) * client.right + x] & 0xFFFFFF) == 0xFFFFFF) continue;
      if (inkLeft < 0 || x < inkLeft) inkLeft = x;
      if (x > inkRight) inkRight = x;
      if (inkTop < 0) inkTop = y;
      inkBottom = y;
    }
  }
  std::printf("     box %ldx%ld, text %ldx%ld, drawn in columns %d-%d, rows %d-%d\n", client.right, client.bottom,
              extent.cx, extent.cy, inkLeft, inkRight, inkTop, inkBottom);
  Check(inkLeft > 0 && inkRight < client.right - 1 && inkRight - inkLeft + 1 >= extent.cx,
        "the whole text shows inside the box");
  Check(inkTop > 0 && inkBottom < client.bottom - 1, "the line shows inside the box");

  // The box gets the focus again (as after switching windows): the editor
  // still ticks and paints a control that changed.
  SendMessageW(box, WM_SETFOCUS, 0, 0);
  const int32_t drawsBefore = other->draws;
  other->MarkDirty(true);
  Check(PumpUntil([&] { return other->draws > drawsBefore; }, 1500),
        "the editor paints a changed control while the box has just been focused");
  Check(editor->EntryState() == WinEditor::kEntryIdle || editor->EntryState() == WinEditor::kEntryRedrawn,
        "the tick moves the box on from just focused");

  // Typed text replaces the selection; Enter commits at the next tick.
  for (wchar_t c : std::wstring(L"0.25")) SendMessageW(box, WM_CHAR, c, 1);
  SendMessageW(box, WM_KEYDOWN, VK_RETURN, 1);
  Check(PumpUntil([&] { return editor->EntryBox() == nullptr; }, 1500), "Enter closes the box");
  Check(FindWindowExA(child, nullptr, "EDIT", nullptr) == nullptr, "the box window is gone");
  Check(std::fabs(plug.ParamAt(kGain)->Value() - 0.25) < 1e-9,
        "the typed 0.25 becomes the value: " + std::to_string(plug.ParamAt(kGain)->Value()));
  editor->CloseEditorWindow();
  DestroyWindow(host);
  return failures ? 1 : 0;
}

// The rows of a text's ink in a white bitmap: first and last, -1 if none.
void InkRows(const SysBitmap& bitmap, int& top, int& bottom) {
  top = bottom = -1;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      if ((bitmap.PixelData()[y * bitmap.RowSpan() + x] & 0xFFFFFF) == 0xFFFFFF) continue;
      if (top < 0) top = y;
      bottom = y;
      break;
    }
  }
}

// The preset strip's font draws the marks above capitals: the dots of
// "Ü" stand above the top of "U".
int Marks() {
  FontRequest request;
  request.pixelHeight = 16;
  request.weight = 700;
  request.quality = 1;
  int tops[2] = {0, 0}, bottoms[2] = {0, 0};
  const char* const texts[2] = {"U", "\xc3\x9c"};
  for (int i = 0; i < 2; ++i) {
    CachedFont font;
    font.AttachNativeFont(CreateNativeFont(request), FontOwnsHandle | FontPreferSystemText);
    font.ChangeTextColor(0xFF000000);
    SysBitmap target(40, 40);
    std::memset(target.PixelData(), 0xFF, size_t(target.RowSpan()) * 40 * 4);
    RasterRect rect{10, 12, 30, 12 + font.LineHeight()};
    font.RenderText(&target, texts[i], -1, &rect, TextNoClip);
    InkRows(target, tops[i], bottoms[i]);
  }
  std::printf("     U: rows %d-%d; U with dots: rows %d-%d\n", tops[0], bottoms[0], tops[1], bottoms[1]);
  Check(tops[0] > 0 && tops[1] > 0 && tops[1] + 1 < tops[0], "the dots stand above the capital");
  Check(bottoms[0] == bottoms[1], "both stand on the same baseline");
  return failures ? 1 : 0;
}

// Every item text of a system menu tree, as the menu holds it.
void CollectMenuTexts(HMENU menu, std::vector<std::wstring>& texts, int depth) {
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count && depth < 8; ++i) {
    wchar_t text[512] = {};
    GetMenuStringW(menu, UINT(i), text, 512, MF_BYPOSITION);
    texts.emplace_back(text);
    if (HMENU submenu = GetSubMenu(menu, i)) CollectMenuTexts(submenu, texts, depth + 1);
  }
}

std::vector<std::wstring> menuTexts;
bool menuSeen = false;

void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR, DWORD) {
  HWND menuWindow = FindWindowA("#32768", nullptr);
  if (!menuWindow || !IsWindowVisible(menuWindow) || menuSeen) return;
  HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
  if (!menu) return;
  menuSeen = true;
  CollectMenuTexts(menu, menuTexts, 0);
  EndMenu();
}

// The preset menu, as the system shows it: a name with "&" keeps it (the
// menu holds "&&"), names outside ASCII arrive whole.
int Menu(const char* modulePath) {
  const std::string root = platform::DocumentsFolder() + "\\Tarvolin Instruments";
  CreateDirectoryA(root.c_str(), nullptr);
  CreateDirectoryA((root + "\\Tarvolin Thudra Presets").c_str(), nullptr);
  const std::string factory = root + "\\Tarvolin Thudra Presets\\Factory Presets\\";
  CreateDirectoryA(factory.c_str(), nullptr);
  const char* const kNames[] = {"Kick & Snare",
                                "\xc3\x9c"
                                "bersteuert",
                                "\xd0\x91\xd0\xbe\xd1\x87\xd0\xba\xd0\xb0"};
  for (const char* name : kNames) {
    Check(platform::ReplaceFileContents(factory + name + ".tvpreset", "Pitch=0.5\n"),
          std::string("preset file ") + name);
  }
  {
    OpenedEditor opened;
    if (!opened.Open(modulePath, DefWindowProcA)) return 1;
    Pump(200);
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadOpenMenu);
    // A click on the name strip opens the menu; it runs until EndMenu.
    Send(opened.child, WM_LBUTTONDOWN, MK_LBUTTON, 295, 28);
    Send(opened.child, WM_LBUTTONUP, 0, 295, 28);
    KillTimer(nullptr, timer);
  }
  for (const char* name : kNames) DeleteFileW(platform::WideFromUtf8(factory + name + ".tvpreset").c_str());
  Check(menuSeen, "the preset menu opened");
  auto has = [](const std::wstring& wanted) {
    for (const std::wstring& text : menuTexts) {
      if (text.size() >= wanted.size() && text.compare(text.size() - wanted.size(), wanted.size(), wanted) == 0)
        return true;
    }
    return false;
  };
  Check(has(L"Kick && Snare"), "\"Kick & Snare\" is in the menu as \"Kick && Snare\", shown with its \"&\"");
  Check(has(L"\u00DCbersteuert"), "\"\u00DCbersteuert\" is in the menu whole");
  Check(has(L"\u0411\u043E\u0447\u043A\u0430"), "the Cyrillic name is in the menu whole");
  return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "resources" && argc == 4) return Resources(argv[2], argv[3]);
  if (command == "platform" && argc == 3) return Platform(argv[2]);
  if (command == "raster" && argc == 2) return Raster();
  if (command == "editor" && argc == 4) return EditorWindow(argv[2], argv[3]);
  if (command == "mouse" && argc == 5) return MouseInput(argv[2], argv[3], argv[4]);
  if (command == "keys" && argc == 3) return Keys(argv[2]);
  if (command == "middle" && argc == 3) return MiddleClicks(argv[2]);
  if (command == "entry" && argc == 2) return Entry();
  if (command == "marks" && argc == 2) return Marks();
  if (command == "menu" && argc == 3) return Menu(argv[2]);
  if (command == "documents" && argc == 2) {
    std::printf("%s\n", platform::DocumentsFolder().c_str());
    return 0;
  }
  std::fprintf(stderr,
               "usage: thudra-wine-probe resources MODULE IMAGES | platform FOLDER | raster | editor MODULE OUT.bmp |\n"
               "       mouse MODULE BEFORE.bmp AFTER.bmp | keys MODULE | middle MODULE |\n"
               "       menu MODULE | entry | marks | documents\n");
  return 2;
}
