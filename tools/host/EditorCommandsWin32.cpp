// The editor subcommands on Windows: `gui` embeds a module's editor in a
// top-level window of our own as a host does, `screenshot` writes the
// editor's first painted picture to a PNG file.
#include <windows.h>

#include <chrono>
#include <optional>

#include "platform/win32/Utf.h"
#include "tools/host/CommandSupport.h"
#include "tools/host/EditorSession.h"
#include "tools/host/HostCommands.h"
#include "tools/host/PngWriter.h"

namespace thudra::host {

using namespace vst2;

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kWindowClass[] = "ThudraHostWindow";
constexpr UINT_PTR kIdleTimer = 1;
constexpr UINT kIdlePeriodMs = 33;
// The editor paints on its own 40 ms timer; a few of its ticks paint it all.
constexpr auto kScreenshotSettle = std::chrono::milliseconds(250);

LRESULT CALLBACK hostWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Closing is the loop's decision: the editor must close before its parent.
  if (message == WM_CLOSE) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 1);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The top-level window a host would give the editor.
class HostWindow {
public:
  static std::unique_ptr<HostWindow> open(EditorSize size, const std::string& title, std::string& error) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = hostWindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    const std::wstring className = platform::WideFromUtf8(kWindowClass);
    windowClass.lpszClassName = className.c_str();
    RegisterClassW(&windowClass);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT outer = outerRect(size, style);
    HWND window =
        CreateWindowExW(0, className.c_str(), platform::WideFromUtf8(title).c_str(), style, 0, 0,
                        outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, instance, nullptr);
    if (!window) {
      error = "cannot create the editor's window";
      return nullptr;
    }
    std::unique_ptr<HostWindow> made(new HostWindow(window, style));
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return made;
  }

  ~HostWindow() { DestroyWindow(window_); }

  HWND window() const { return window_; }
  // What effEditOpen takes: the window handle.
  void* parent() const { return window_; }

  void resize(EditorSize size) {
    const RECT outer = outerRect(size, style_);
    SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  bool closeRequested() const { return GetWindowLongPtrW(window_, GWLP_USERDATA) != 0; }

  // Serves the thread's messages until `deadline`.
  static void serveMessages(Clock::time_point deadline) {
    for (;;) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(left.count()), QS_ALLINPUT);
    }
  }

  // The client area's picture, editor included, as RGB bytes.
  bool capture(EditorSize size, std::vector<uint8_t>& rgb, std::string& error) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = size.width;
    info.bmiHeader.biHeight = -size.height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(nullptr);
    HDC screen = GetDC(window_);
    bool copied = false;
    if (picture && bits && memory && screen) {
      HGDIOBJ previous = SelectObject(memory, picture);
      copied = BitBlt(memory, 0, 0, size.width, size.height, screen, 0, 0, SRCCOPY) != 0;
      GdiFlush();
      SelectObject(memory, previous);
    }
    if (copied) {
      const auto* pixels = static_cast<const uint32_t*>(bits);
      const size_t count = size_t(size.width) * size_t(size.height);
      rgb.resize(count * 3);
      for (size_t i = 0; i < count; ++i) {
        rgb[3 * i] = uint8_t(pixels[i] >> 16);
        rgb[3 * i + 1] = uint8_t(pixels[i] >> 8);
        rgb[3 * i + 2] = uint8_t(pixels[i]);
      }
    } else {
      error = "cannot read the window's picture";
    }
    if (screen) ReleaseDC(window_, screen);
    if (memory) DeleteDC(memory);
    if (picture) DeleteObject(picture);
    return copied;
  }

private:
  HostWindow(HWND window, DWORD style) : window_(window), style_(style) {}

  static RECT outerRect(EditorSize size, DWORD style) {
    RECT outer{0, 0, size.width, size.height};
    AdjustWindowRectEx(&outer, style, FALSE, 0);
    return outer;
  }

  HWND window_;
  DWORD style_;
};

}  // namespace

int runGuiCommand(const CommandArgs& args, std::ostream& out, std::ostream& err) {
  std::string error;
  auto options = parseEditorOptions(args, false, error);
  if (!options) return fail(err, error, kExitUsage);
  return withOpenEditor<HostWindow>(
      *options, err, [&](HostedPlugin& plugin, HostSession& session, HostWindow& window, EditorSize size) {
        POINT origin{0, 0};
        ClientToScreen(window.window(), &origin);
        out << "showing the editor (" << size.width << "x" << size.height << " at " << origin.x << "," << origin.y
            << " on the screen); close the window to stop\n"
            << std::flush;
        AudioPacer audio(plugin, session);
        const auto start = Clock::now();
        SetTimer(window.window(), kIdleTimer, kIdlePeriodMs, nullptr);
        MSG message;
        while (!window.closeRequested()) {
          if (options->seconds && Clock::now() - start >= std::chrono::duration<double>(*options->seconds)) break;
          if (GetMessageW(&message, nullptr, 0, 0) <= 0) break;
          const bool idle =
              message.message == WM_TIMER && message.hwnd == window.window() && message.wParam == kIdleTimer;
          TranslateMessage(&message);
          DispatchMessageW(&message);
          if (!idle) continue;
          plugin.dispatch(effEditIdle);
          audio.run();
          if (auto requested = requestedEditorSize(session, size)) {
            size = *requested;
            window.resize(size);
          }
        }
        KillTimer(window.window(), kIdleTimer);
        if (!options->outPath.empty() && !writePicture(window, size, options->outPath, error))
          return fail(err, error, kExitFailure);
        printEditorSummary(plugin, session, out);
        return kExitOk;
      });
}

int runScreenshotCommand(const CommandArgs& args, std::ostream& out, std::ostream& err) {
  std::string error;
  auto options = parseEditorOptions(args, true, error);
  if (!options) return fail(err, error, kExitUsage);
  return withOpenEditor<HostWindow>(
      *options, err, [&](HostedPlugin& plugin, HostSession&, HostWindow& window, EditorSize size) {
        HostWindow::serveMessages(Clock::now() + kScreenshotSettle);
        plugin.dispatch(effEditIdle);
        HostWindow::serveMessages(Clock::now());
        if (!writePicture(window, size, options->outPath, error)) return fail(err, error, kExitFailure);
        out << "wrote " << options->outPath << ": " << size.width << "x" << size.height << '\n';
        return kExitOk;
      });
}

}  // namespace thudra::host
