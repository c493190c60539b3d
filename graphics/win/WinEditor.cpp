#include <windows.h>
#include <windowsx.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>
// <windows.h> renames DrawText; the editor's own DrawText must keep its name.
#undef DrawText

#include "graphics/win/WinEditor.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/Control.h"
#include "graphics/PlatformEditor.h"
#include "graphics/PopupMenu.h"
#include "graphics/ResourceImage.h"
#include "graphics/EditorTickAndEntry.h"
#include "graphics/win/WinEditorLogic.h"
#include "raster/RasterBitmap.h"
#include "platform/win32/ModuleInstance.h"
#include "platform/win32/Utf.h"
#include "plugin/PlugBase.h"
#include "plugin/PlugParam.h"

namespace {

constexpr char kClassName[] = "PlugWndClass";

// Touched only on the hosts' user-interface thread, while opening and closing.
int32_t openWindowCount = 0;
// The system EDIT procedure, for an entry box whose editor has let go of it.
std::atomic<WNDPROC> systemEditProc{nullptr};

HWND AsWindow(void* handle) { return static_cast<HWND>(handle); }
HINSTANCE AsInstance(void* handle) { return static_cast<HINSTANCE>(handle); }

std::wstring Wide(const char* text) { return text ? platform::WideFromUtf8(text) : std::wstring(); }

MouseMods ModsFromKeyFlags(WPARAM keys) {
  MouseMods mods;
  mods.left = (keys & MK_LBUTTON) != 0;
  mods.right = (keys & MK_RBUTTON) != 0;
  mods.shift = (keys & MK_SHIFT) != 0;
  mods.control = (keys & MK_CONTROL) != 0;
  mods.alt = GetKeyState(VK_MENU) < 0;
  return mods;
}

RECT ToRect(const PixelRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// Keys the editor does not use belong to the host: its shortcuts and its
// computer keyboard need the presses, characters and releases alike. The
// host's window answers for them, system keys (Alt+F4) included, so they
// are not handled a second time here.
LRESULT ForwardKey(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND root = GetAncestor(window, GA_ROOT);
  if (root && root != window) return SendMessageA(root, message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

bool IsPlainChild(HWND window) {
  const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
  const LONG_PTR exStyle = GetWindowLongPtrA(window, GWL_EXSTYLE);
  return (style & WS_CHILD) && !(exStyle & WS_EX_MDICHILD);
}

void GrowWindow(HWND window, int32_t dw, int32_t dh) {
  RECT outer{};
  GetWindowRect(window, &outer);
  SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + dw, outer.bottom - outer.top + dh,
               SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
}

// Builds the system menu tree with command ids numbered as
// PopupMenu::ChooseByCommand walks them.
HMENU BuildMenu(const PopupMenu& menu, int32_t& counter, int32_t depth) {
  if (depth >= PopupMenu::kMaxDepth) return nullptr;
  HMENU handle = CreatePopupMenu();
  if (!handle) return nullptr;
  const int32_t base = counter;
  counter += menu.ItemCount();
  for (int32_t i = 0; i < menu.ItemCount(); ++i) {
    const PopupMenuItem* item = menu.ItemAt(i);
    if (!item) continue;
    if (item->IsSeparator()) {
      AppendMenuW(handle, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    TextBuf shown;
    menu.ShownText(i, shown);
    const std::wstring text = Wide(winui::MenuItemText(shown.Get()).c_str());
    if (item->submenu) {
      if (HMENU submenu = BuildMenu(*item->submenu, counter, depth + 1)) {
        AppendMenuW(handle, MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), text.c_str());
      }
      continue;
    }
    UINT flags = MF_STRING;
    if (item->flags & kItemGrayed) flags |= MF_GRAYED;
    if (item->flags & kItemDisabled) flags |= MF_DISABLED;
    if (item->flags & kItemChecked) flags |= MF_CHECKED;
    AppendMenuW(handle, flags, UINT_PTR(base + i), text.c_str());
  }
  return handle;
}

std::string ModuleFolder(HMODULE module) {
  wchar_t path[256] = {};
  const DWORD length = GetModuleFileNameW(module, path, 255);
  if (length == 0 || length >= 255) return {};
  return winui::FolderOfModulePath(platform::Utf8FromWide(path, int(length)));
}

UINT_PTR CALLBACK ColorHook(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* choose = reinterpret_cast<const CHOOSECOLORW*>(lParam);
    const char* prompt = choose ? reinterpret_cast<const char*>(choose->lCustData) : nullptr;
    if (prompt && *prompt) SetWindowTextW(dialog, Wide(prompt).c_str());
  }
  return 0;
}

struct MainWindowSearch {
  DWORD processId;
  const std::string* className;
  HWND found;
};

BOOL CALLBACK MatchMainWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<MainWindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId) return TRUE;
  char name[128] = {};
  GetClassNameA(window, name, sizeof(name));
  if (*search->className != name) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

// The window and entry box procedures, with access to the editor's state.
struct WinEditorWindow {
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK EntryProcedure(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
  static void Tick(WinEditor* editor, HWND window);
  static void Commit(WinEditor* editor);
};

WinEditor::WinEditor(PlugBase* plug, int32_t width, int32_t height, int32_t frameRate)
    : Editor(plug, width, height, frameRate) {}

WinEditor::~WinEditor() { CloseEditorWindow(); }

int32_t WinEditor::OpenWindowCount() { return openWindowCount; }

bool WinEditor::PresentRect(const PixelRect& rect) {
  HWND window = AsWindow(window_);
  if (!window) return false;
  SysBitmap* bitmap = DrawBitmap();
  HDC source = bitmap ? static_cast<HDC>(bitmap->DeviceContext()) : nullptr;
  // Inside the paint message the paint DC is used; a present outside it
  // (a direct redraw) draws through the window's own DC.
  PAINTSTRUCT paint{};
  HDC target = nullptr;
  const bool fromPaint = painting_;
  if (fromPaint) {
    target = BeginPaint(window, &paint);
  } else {
    target = GetDC(window);
  }
  if (target && source) {
    BitBlt(target, rect.left, rect.top, rect.Width(), rect.Height(), source, rect.left, rect.top, SRCCOPY);
  }
  if (fromPaint) {
    EndPaint(window, &paint);
    painting_ = false;
  } else if (target) {
    ReleaseDC(window, target);
  }
  return true;
}

void WinEditor::CancelTextEntry() { entryState_ = kEntryCancel; }

void WinEditor::Resize(int32_t width, int32_t height) {
  if (width == width_ && height == height_) return;
  // The controls are about to be destroyed: an open entry must not outlive
  // the control it edits.
  CloseEntryBox();
  const int32_t dw = width - width_, dh = height - height_;
  Editor::Resize(width, height);
  HWND window = AsWindow(window_);
  if (!window) return;
  HWND parent = nullptr, grandparent = nullptr;
  if (IsPlainChild(window)) {
    parent = GetParent(window);
    if (parent && IsPlainChild(parent)) grandparent = GetParent(parent);
  }
  GrowWindow(window, dw, dh);
  const int32_t apiKind = plug_ ? plug_->PluginApiKind() : 0;
  if (apiKind != 1 && apiKind != 3) {
    if (parent) GrowWindow(parent, dw, dh);
    if (grandparent) GrowWindow(grandparent, dw, dh);
  }
  const RECT all{0, 0, width_, height_};
  InvalidateRect(window, &all, FALSE);
}

bool WinEditor::HasWindow() { return window_ != nullptr; }

void* WinEditor::OpenEditorWindow(void* parent) {
  parentWindow_ = parent;
  int32_t x = 0, y = 0, w = width_, h = height_;
  if (HWND old = AsWindow(window_)) {
    RECT oldRect{}, parentRect{};
    GetWindowRect(old, &oldRect);
    GetWindowRect(AsWindow(parent), &parentRect);
    x = oldRect.left - parentRect.left;
    y = oldRect.top - parentRect.top;
    w = oldRect.right - oldRect.left;
    h = oldRect.bottom - oldRect.top;
    CloseEditorWindow();
  }
  if (openWindowCount++ == 0) {
    WNDCLASSA windowClass{};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = WinEditorWindow::Procedure;
    windowClass.hInstance = AsInstance(moduleInstance_);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    // A class left behind by a window the host destroyed is reused.
    RegisterClassA(&windowClass);
  }
  HWND window = CreateWindowExA(0, kClassName, "Plug", WS_CHILD | WS_VISIBLE, x, y, w, h, AsWindow(parent), nullptr,
                                AsInstance(moduleInstance_), this);
  if (!window) {
    if (--openWindowCount == 0) UnregisterClassA(kClassName, AsInstance(moduleInstance_));
    return nullptr;
  }
  window_ = window;
  for (int32_t i = 0; i < ControlCount(); ++i) ControlAt(i)->MarkDirty(false);
  return window_;
}

void WinEditor::ForgetWindow() {
  if (!window_) return;
  window_ = nullptr;
  ForgetEntryBox();
  painting_ = false;
  --openWindowCount;
}

void WinEditor::CloseEditorWindow() {
  HWND window = AsWindow(window_);
  if (!window) {
    // The host may have destroyed the window with its own; the class must
    // still go before the module can be unloaded.
    if (openWindowCount == 0) UnregisterClassA(kClassName, AsInstance(moduleInstance_));
    return;
  }
  CloseEntryBox();
  // The window's last message forgets it; forget it here too should the
  // destruction fail (a window already gone).
  DestroyWindow(window);
  if (window_ == window) ForgetWindow();
  if (openWindowCount == 0) UnregisterClassA(kClassName, AsInstance(moduleInstance_));
}

void WinEditor::HideCursor() {
  if (cursorHidden_) return;
  POINT at{};
  GetCursorPos(&at);
  savedCursorX_ = at.x;
  savedCursorY_ = at.y;
  ShowCursor(FALSE);
  cursorHidden_ = true;
}

void WinEditor::RestoreCursor() {
  if (!cursorHidden_) return;
  SetCursorPos(savedCursorX_, savedCursorY_);
  ShowCursor(TRUE);
  cursorHidden_ = false;
}

RasterBitmap* WinEditor::LoadResourceBitmap(int32_t id, const char* name) {
  return LoadNamedResourceImage(moduleInstance_, id, name);
}

void WinEditor::CloseEntryBox() {
  HWND box = AsWindow(entryBox_);
  if (box) {
    SetWindowLongPtrA(box, GWLP_WNDPROC, entryBoxProc_);
    SetWindowLongPtrA(box, GWLP_USERDATA, 0);
    DestroyWindow(box);
  }
  ForgetEntryBox();
}

void WinEditor::ForgetEntryBox() {
  entryBox_ = nullptr;
  entryControl_ = nullptr;
  entryParam_ = nullptr;
  entryBoxProc_ = 0;
  entryState_ = kEntryIdle;
  if (entryFont_) DeleteObject(static_cast<HFONT>(entryFont_));
  entryFont_ = nullptr;
}

namespace {

HFONT CreateEntryFont(const TextStyle& style) {
  char face[TextStyle::kFaceCapacity] = {};
  std::snprintf(face, sizeof(face), "%.*s", TextStyle::kFaceCapacity - 1, style.faceName);
  return CreateFontA(style.size, 0, 0, 0, style.style == kStyleBold ? FW_BOLD : FW_DONTCARE,
                     style.style == kStyleItalic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

// The text's width and the font's line height, in the box's font.
void MeasureEntryText(HWND window, HFONT font, const std::wstring& text, int32_t& width, int32_t& lineHeight) {
  width = lineHeight = 0;
  HDC dc = GetDC(window);
  if (!dc) return;
  HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
  SIZE extent{};
  if (GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &extent)) width = extent.cx;
  TEXTMETRICW metrics{};
  if (GetTextMetricsW(dc, &metrics)) lineHeight = metrics.tmHeight;
  if (previous) SelectObject(dc, previous);
  ReleaseDC(window, dc);
}

}  // namespace

void WinEditor::BeginTextEntry(Control* control, const TextStyle& style, const PixelRect& rect, const char* initialText,
                               PlugParam* param) {
  HWND window = AsWindow(window_);
  if (!control || entryBox_ || !window) return;
  const std::wstring text = Wide(initialText);
  HFONT font = CreateEntryFont(style);
  // The box grows to show the whole value (a multi-line box narrower than
  // its text wraps it and shows the middle only); longer typing scrolls.
  int32_t textWidth = 0, lineHeight = 0;
  MeasureEntryText(window, font, text, textWidth, lineHeight);
  const PixelRect bounds = winui::EntryBoxBounds(rect, textWidth, lineHeight, width_, height_);
  DWORD boxStyle = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOHSCROLL;
  if (style.alignment == kAlignCenter) boxStyle |= ES_CENTER;
  if (style.alignment == kAlignRight) boxStyle |= ES_RIGHT;
  HWND box =
      CreateWindowExW(0, L"EDIT", text.c_str(), boxStyle, bounds.left, bounds.top, bounds.Width(), bounds.Height(),
                      window, reinterpret_cast<HMENU>(intptr_t(kEntryBoxId)), AsInstance(moduleInstance_), nullptr);
  if (!box) {
    if (font) DeleteObject(font);
    return;
  }
  if (font) SendMessageW(box, WM_SETFONT, WPARAM(font), FALSE);
  entryFont_ = font;
  SendMessageW(box, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
               MAKELPARAM(winui::kEntryTextInset, winui::kEntryTextInset));
  // The line in the middle of the box, as in the Linux box.
  if (lineHeight > 0 && lineHeight < bounds.Height()) {
    const int32_t lineTop = (bounds.Height() - lineHeight) / 2;
    RECT textArea{0, lineTop, bounds.Width(), lineTop + lineHeight};
    SendMessageW(box, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&textArea));
  }
  SendMessageW(box, EM_SETSEL, 0, -1);
  SendMessageW(box, EM_LIMITTEXT, WPARAM(control->TextEntryLength() > 0 ? control->TextEntryLength() : 1), 0);
  SetFocus(box);
  entryBoxProc_ = SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WinEditorWindow::EntryProcedure));
  if (!systemEditProc.load()) systemEditProc.store(reinterpret_cast<WNDPROC>(entryBoxProc_));
  SetWindowLongPtrW(box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  entryBox_ = box;
  entryParam_ = param;
  entryControl_ = control;
}

void* WinEditor::MainWindow() {
  if (mainWindow_) return mainWindow_;
  if (HWND window = AsWindow(parentWindow_)) {
    while (HWND up = GetParent(window)) window = up;
    mainWindow_ = window;
    char name[128] = {};
    GetClassNameA(window, name, sizeof(name));
    mainWindowClass_ = name;
    return mainWindow_;
  }
  if (mainWindowClass_.empty()) return nullptr;
  processId_ = GetCurrentProcessId();
  MainWindowSearch search{DWORD(processId_), &mainWindowClass_, nullptr};
  EnumWindows(MatchMainWindow, reinterpret_cast<LPARAM>(&search));
  mainWindow_ = search.found;
  return mainWindow_;
}

int32_t WinEditor::ShowMessage(const char* text, const char* caption, int32_t type) {
  return MessageBoxW(AsWindow(MainWindow()), Wide(text).c_str(), Wide(caption).c_str(), UINT(type));
}

PopupMenu* WinEditor::RunPopupMenu(PopupMenu* menu, const PixelRect& rect) {
  ReleaseMouseCapture();
  HWND window = AsWindow(window_);
  if (!menu || !window) return nullptr;
  int32_t counter = 0;
  HMENU handle = BuildMenu(*menu, counter, 0);
  if (!handle) return nullptr;
  POINT at{rect.left, rect.bottom};
  ClientToScreen(window, &at);
  TrackPopupMenu(handle, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, at.x, at.y, 0, window, nullptr);
  // The choice arrives as a command message; id 0 is a real item, so it is
  // taken from the queue rather than from the call's answer.
  PopupMenu* chosen = nullptr;
  MSG message{};
  if (PeekMessageW(&message, window, WM_COMMAND, WM_COMMAND, PM_REMOVE) && HIWORD(message.wParam) == 0) {
    chosen = menu->ChooseByCommand(LOWORD(message.wParam));
  }
  DestroyMenu(handle);
  return chosen;
}

void WinEditor::HostFolder(TextBuf& out) { out.Set(ModuleFolder(nullptr).c_str()); }

void WinEditor::PluginFolder(TextBuf& out) { out.Set(ModuleFolder(static_cast<HMODULE>(moduleInstance_)).c_str()); }

void WinEditor::DesktopFolder(TextBuf& out) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, SHGFP_TYPE_CURRENT, path))) {
    out.Set("");
    return;
  }
  std::string folder = platform::Utf8FromWide(path);
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  out.Set(folder.c_str());
}

void WinEditor::AskForFile(TextBuf& file, int32_t action, TextBuf& folder, const char* extensions) {
  HWND window = AsWindow(window_);
  if (!window) {
    file.Set("");
    return;
  }
  // The wide dialog, so that paths outside the ANSI code page survive as
  // UTF-8.
  wchar_t fileName[256] = {};
  const std::wstring initialFile = Wide(file.Get());
  if (initialFile.size() < 256) std::wcscpy(fileName, initialFile.c_str());
  if (!folder.Get() || !*folder.Get()) DesktopFolder(folder);
  wchar_t initialFolder[256] = {};
  const std::wstring wideFolder = Wide(folder.Get());
  if (wideFolder.size() < 256) std::wcscpy(initialFolder, wideFolder.c_str());

  std::string defaultExtension;
  const std::wstring filter = platform::WideFromUtf8(winui::FileFilter(extensions, &defaultExtension));
  const std::wstring wideExtension = Wide(defaultExtension.substr(0, 15).c_str());

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = window;
  dialog.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
  dialog.lpstrFile = fileName;
  dialog.nMaxFile = 255;
  dialog.lpstrInitialDir = initialFolder;
  dialog.lpstrDefExt = wideExtension.empty() ? nullptr : wideExtension.c_str();
  BOOL chosen = FALSE;
  if (action == kFileSave) {
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;
    chosen = GetSaveFileNameW(&dialog);
  } else {
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    chosen = GetOpenFileNameW(&dialog);
  }
  if (!chosen) return;
  const std::string path = platform::Utf8FromWide(fileName);
  const size_t slash = path.find_last_of("\\/");
  if (slash != std::string::npos) folder.Set(path.substr(0, slash + 1).c_str());
  file.Set(path.c_str());
}

bool WinEditor::AskForColor(ArgbColor& color, const char* prompt) {
  HWND window = AsWindow(window_);
  if (!window) return false;
  if (!customColors_) {
    customColors_ = std::make_unique<uint32_t[]>(16);
    for (int i = 0; i < 16; ++i) customColors_[i] = 0;
  }
  static_assert(sizeof(COLORREF) == sizeof(uint32_t));
  CHOOSECOLORW choose{};
  choose.lStructSize = sizeof(choose);
  choose.hwndOwner = window;
  choose.rgbResult = RGB(color.red & 0xFF, color.green & 0xFF, color.blue & 0xFF);
  choose.lpCustColors = reinterpret_cast<COLORREF*>(customColors_.get());
  choose.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ANYCOLOR | CC_SOLIDCOLOR | CC_ENABLEHOOK;
  choose.lCustData = reinterpret_cast<LPARAM>(prompt);
  choose.lpfnHook = ColorHook;
  if (!ChooseColorW(&choose)) return false;
  color.red = GetRValue(choose.rgbResult);
  color.green = GetGValue(choose.rgbResult);
  color.blue = GetBValue(choose.rgbResult);
  return true;
}

bool WinEditor::OpenWebPage(const char* url, const char* title, const char* confirmText, const char* failText) {
  HWND window = AsWindow(window_);
  if (confirmText && MessageBoxW(window, Wide(confirmText).c_str(), Wide(title).c_str(), MB_YESNO) != IDYES) {
    return false;
  }
  DWORD connection = 0;
  if (url && InternetGetConnectedState(&connection, 0)) {
    const HINSTANCE result = ShellExecuteW(window, L"open", Wide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<intptr_t>(result) > 32) return true;
  }
  if (failText) MessageBoxW(window, Wide(failText).c_str(), Wide(title).c_str(), MB_OK);
  return false;
}

void WinEditorWindow::Commit(WinEditor* editor) {
  HWND box = AsWindow(editor->entryBox_);
  wchar_t typed[32] = {};
  GetWindowTextW(box, typed, 32);
  const std::string text = platform::Utf8FromWide(typed);
  Control* control = editor->entryControl_;
  if (PlugParam* param = editor->entryParam_) {
    double raw = 0.0;
    if (control && winui::EntryRawValue(*param, text.c_str(), &raw)) {
      control->SetValueFromUser(param->Normalize(raw));
    }
  } else if (control) {
    control->TextEntered(text.c_str());
  }
}

void WinEditorWindow::Tick(WinEditor* editor, HWND window) {
  if (editor->entryBox_ && editor->entryState_ != WinEditor::kEntryIdle) {
    if (editor->entryState_ == WinEditor::kEntryCommit) Commit(editor);
    if (editor->entryState_ == WinEditor::kEntryCancel || editor->entryState_ == WinEditor::kEntryCommit) {
      editor->CloseEntryBox();
    } else {
      editor->entryState_ = WinEditor::kEntryIdle;
    }
    return;
  }
  PixelRect dirty;
  if (!editor->CollectDirty(dirty)) return;
  const RECT area = ToRect(dirty);
  InvalidateRect(window, &area, FALSE);
  if (editor->entryBox_) {
    // Not painted over: the box stays on top of its control.
    RECT boxArea{};
    HWND box = AsWindow(editor->entryBox_);
    if (GetWindowRect(box, &boxArea)) {
      MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&boxArea), 2);
      ValidateRect(window, &boxArea);
    }
    UpdateWindow(window);
    editor->entryState_ = WinEditor::kEntryRedrawn;
  } else {
    UpdateWindow(window);
  }
}

LRESULT CALLBACK WinEditorWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    auto* editor = static_cast<WinEditor*>(create->lpCreateParams);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(editor));
    if (editor) SetTimer(window, WinEditor::kTimerId, UINT(EditorTickAndEntry::PeriodMs(editor->FrameRate())), nullptr);
    SetFocus(window);
    return 0;
  }
  auto* editor = reinterpret_cast<WinEditor*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!editor || AsWindow(editor->window_) != window) {
    return DefWindowProcA(window, message, wParam, lParam);
  }
  if (message == WM_NCDESTROY) {
    KillTimer(window, WinEditor::kTimerId);
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    editor->ForgetWindow();
    return DefWindowProcA(window, message, wParam, lParam);
  }
  // The box just got the focus: a press cancels it, input goes nowhere, but
  // painting, colouring the box and the tick go on as usual.
  if (editor->entryBox_ && editor->entryState_ == WinEditor::kEntryFocused && message != WM_PAINT &&
      message != WM_TIMER && message != WM_CTLCOLOREDIT) {
    if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) {
      editor->entryState_ = WinEditor::kEntryCancel;
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  const int32_t x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  switch (message) {
    case WM_PAINT: {
      RECT update{};
      if (GetUpdateRect(window, &update, FALSE)) {
        editor->painting_ = true;
        editor->DrawControls(PixelRect{update.left, update.top, update.right, update.bottom});
        editor->painting_ = false;
      }
      // Whatever the controls drew, the region is painted now.
      ValidateRect(window, nullptr);
      return 0;
    }
    case WM_CLOSE:
      editor->CloseEditorWindow();
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      return 0;
    case WM_KEYDOWN: {
      const int32_t key = winui::KeyCodeFor(uint32_t(wParam));
      bool taken = false;
      if (key >= 0) {
        POINT at{};
        GetCursorPos(&at);
        ScreenToClient(window, &at);
        taken = editor->HandleKey(at.x, at.y, key);
      }
      editor->lastPressTaken_ = taken;
      if (wParam < editor->keysTaken_.size()) editor->keysTaken_[wParam] = taken;
      if (taken) return 0;
      return ForwardKey(window, message, wParam, lParam);
    }
    case WM_KEYUP:
      if (wParam < editor->keysTaken_.size() && editor->keysTaken_[wParam]) {
        editor->keysTaken_[wParam] = false;
        return 0;
      }
      return ForwardKey(window, message, wParam, lParam);
    case WM_CHAR:
    case WM_DEADCHAR:
      if (editor->lastPressTaken_) return 0;
      return ForwardKey(window, message, wParam, lParam);
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR:
    case WM_SYSDEADCHAR:
      return ForwardKey(window, message, wParam, lParam);
    case WM_TIMER:
      if (wParam == UINT_PTR(WinEditor::kTimerId)) Tick(editor, window);
      return 0;
    case WM_CTLCOLOREDIT: {
      Control* control = editor->entryControl_;
      if (!control) return 0;
      HDC dc = reinterpret_cast<HDC>(wParam);
      const TextStyle& style = control->Style();
      const COLORREF back =
          RGB(style.entryBackColor.red & 0xFF, style.entryBackColor.green & 0xFF, style.entryBackColor.blue & 0xFF);
      SetBkColor(dc, back);
      SetTextColor(dc, RGB(style.entryTextColor.red & 0xFF, style.entryTextColor.green & 0xFF,
                           style.entryTextColor.blue & 0xFF));
      SetBkMode(dc, OPAQUE);
      SetDCBrushColor(dc, back);
      return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
    }
    case WM_MOUSEMOVE:
      if ((wParam & (MK_LBUTTON | MK_RBUTTON)) && GetCapture() == window && !editor->entryBox_) {
        editor->HandleMouseDrag(x, y, ModsFromKeyFlags(wParam));
      }
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    // The class asks for double clicks; a quick second middle click is a
    // press like the first, so that its release has one to end.
    case WM_MBUTTONDBLCLK:
      if (editor->entryBox_) {
        editor->CloseEntryBox();
        const RECT all{0, 0, editor->Width(), editor->Height()};
        InvalidateRect(window, &all, FALSE);
        UpdateWindow(window);
      }
      SetFocus(window);
      SetCapture(window);
      editor->HandleMouseDown(x, y, ModsFromKeyFlags(wParam));
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      ReleaseCapture();
      editor->HandleMouseUp(x, y, ModsFromKeyFlags(wParam));
      return 0;
    case WM_LBUTTONDBLCLK:
      if (editor->HandleDoubleClick(x, y, ModsFromKeyFlags(wParam))) SetCapture(window);
      return 0;
    case WM_MOUSEWHEEL: {
      if (editor->entryBox_) {
        editor->entryState_ = WinEditor::kEntryCancel;
        return 0;
      }
      RECT outer{};
      GetWindowRect(window, &outer);
      const int32_t steps = winui::WheelSteps(GET_WHEEL_DELTA_WPARAM(wParam));
      editor->HandleWheel(x - outer.left, y - outer.top, ModsFromKeyFlags(GET_KEYSTATE_WPARAM(wParam)), steps);
      return 0;
    }
    case WM_MOUSELEAVE:
      for (int32_t i = 0; i < editor->ControlCount(); ++i) editor->ControlAt(i)->MouseOut();
      editor->hoveredControl_ = -1;
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK WinEditorWindow::EntryProcedure(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* editor = reinterpret_cast<WinEditor*>(GetWindowLongPtrW(box, GWLP_USERDATA));
  if (!editor || AsWindow(editor->entryBox_) != box) {
    WNDPROC system = systemEditProc.load();
    return system ? CallWindowProcW(system, box, message, wParam, lParam)
                  : DefWindowProcW(box, message, wParam, lParam);
  }
  const WNDPROC own = reinterpret_cast<WNDPROC>(editor->entryBoxProc_);
  PlugParam* param = editor->entryParam_;
  switch (message) {
    case WM_SETFOCUS:
      editor->entryState_ = WinEditor::kEntryFocused;
      break;
    case WM_KILLFOCUS:
      editor->entryState_ = WinEditor::kEntryCancel;
      break;
    case WM_GETDLGCODE: {
      LRESULT code = CallWindowProcW(own, box, message, wParam, lParam);
      const auto* queued = reinterpret_cast<const MSG*>(lParam);
      if (!param && queued && queued->message == WM_KEYDOWN && queued->wParam == VK_RETURN) {
        code |= DLGC_WANTALLKEYS;
      }
      return code;
    }
    case WM_KEYDOWN:
      if (wParam == VK_RETURN) {
        editor->entryState_ = WinEditor::kEntryCommit;
        return 0;
      }
      break;
    case WM_CHAR:
      // Enter commits; its character must not end up in the committed text.
      if (wParam == '\r' || wParam == '\n') return 0;
      if (param && !EditorTickAndEntry::EntryAccepts(param, uint32_t(wParam))) return 0;
      break;
    case WM_COMMAND:
      if (HIWORD(wParam) == 1) {
        editor->entryState_ = WinEditor::kEntryCommit;
        return 0;
      }
      break;
    default:
      break;
  }
  return CallWindowProcW(own, box, message, wParam, lParam);
}

Editor* CreatePlatformEditor(PlugBase* plug, int32_t width, int32_t height, int32_t frameRate) {
  auto* editor = new WinEditor(plug, width, height, frameRate);
  void* module = platform::ModuleInstance();
  editor->SetModuleInstance(module ? module : GetModuleHandleA(nullptr));
  return editor;
}
