// The editor subcommands: `gui` embeds a module's editor in a window of our
// own as a host does, `screenshot` writes the editor's first painted picture
// to a PNG file.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "tools/host/CommandSupport.h"
#include "tools/host/EditorSession.h"
#include "tools/host/HostCommands.h"
#include "tools/host/PngWriter.h"

namespace thudra::host {

using namespace vst2;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kIdlePeriod = std::chrono::microseconds(1000000 / 30);
// The first ticks paint the editor; a few idles over ~150 ms let them run.
constexpr int kScreenshotIdles = 8;
constexpr auto kScreenshotIdleGap = std::chrono::milliseconds(20);
constexpr auto kMapTimeout = std::chrono::seconds(5);

// This program's own display: an X error is counted, never fatal.
int gDisplayErrors = 0;
int countDisplayError(Display*, XErrorEvent*) {
  ++gDisplayErrors;
  return 0;
}

// The top-level window a host would give the editor.
class HostWindow {
public:
  static std::unique_ptr<HostWindow> open(EditorSize size, const std::string& title, std::string& error) {
    const int32_t width = size.width, height = size.height;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
      error = "cannot open the X display (is DISPLAY set?)";
      return nullptr;
    }
    XSetErrorHandler(&countDisplayError);
    std::unique_ptr<HostWindow> made(new HostWindow(display));
    const int screen = DefaultScreen(display);
    made->window_ =
        XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), 0, BlackPixel(display, screen), BlackPixel(display, screen));
    made->deleteAtom_ = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, made->window_, &made->deleteAtom_, 1);
    XStoreName(display, made->window_, title.c_str());
    XSizeHints* hints = XAllocSizeHints();
    if (hints) {
      hints->flags = PMinSize | PMaxSize;
      hints->min_width = hints->max_width = width;
      hints->min_height = hints->max_height = height;
      XSetWMNormalHints(display, made->window_, hints);
      XFree(hints);
    }
    XSelectInput(display, made->window_, StructureNotifyMask);
    XMapWindow(display, made->window_);
    if (!made->waitUntilMapped()) {
      error = "the window did not appear on the display";
      return nullptr;
    }
    return made;
  }

  ~HostWindow() {
    if (window_) XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }

  Window window() const { return window_; }
  // What effEditOpen takes: the X window id.
  void* parent() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(window_)); }

  void resize(EditorSize size) {
    XResizeWindow(display_, window_, static_cast<unsigned>(size.width), static_cast<unsigned>(size.height));
    XFlush(display_);
  }

  // Drains the window's events; true once the user asked to close it.
  bool closeRequested() {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == deleteAtom_) closed_ = true;
      if (event.type == DestroyNotify && event.xdestroywindow.window == window_) {
        closed_ = true;
        window_ = 0;
      }
    }
    return closed_;
  }

  // The window's picture, editor included, as RGB bytes.
  bool capture(EditorSize size, std::vector<uint8_t>& rgb, std::string& error) {
    const int32_t width = size.width, height = size.height;
    XSync(display_, False);
    const int errorsBefore = gDisplayErrors;
    XImage* image = XGetImage(display_, window_, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    XSync(display_, False);
    if (!image || gDisplayErrors != errorsBefore) {
      if (image) XDestroyImage(image);
      error = "cannot read the window's picture (is it on the screen?)";
      return false;
    }
    rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    uint8_t* out = rgb.data();
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        const unsigned long pixel = XGetPixel(image, x, y);
        *out++ = channel(pixel, image->red_mask);
        *out++ = channel(pixel, image->green_mask);
        *out++ = channel(pixel, image->blue_mask);
      }
    }
    XDestroyImage(image);
    return true;
  }

private:
  explicit HostWindow(Display* display) : display_(display) {}

  static uint8_t channel(unsigned long pixel, unsigned long mask) {
    if (!mask) return 0;
    const unsigned long bits = mask >> std::countr_zero(mask);
    return static_cast<uint8_t>(((pixel & mask) >> std::countr_zero(mask)) * 255 / bits);
  }

  bool waitUntilMapped() {
    const auto deadline = Clock::now() + kMapTimeout;
    while (Clock::now() < deadline) {
      XWindowAttributes attributes{};
      if (XGetWindowAttributes(display_, window_, &attributes) && attributes.map_state == IsViewable) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  Display* display_;
  Window window_ = 0;
  Atom deleteAtom_ = 0;
  bool closed_ = false;
};

}  // namespace

int runGuiCommand(const CommandArgs& args, std::ostream& out, std::ostream& err) {
  std::string error;
  auto options = parseEditorOptions(args, false, error);
  if (!options) return fail(err, error, kExitUsage);
  return withOpenEditor<HostWindow>(
      *options, err, [&](HostedPlugin& plugin, HostSession& session, HostWindow& window, EditorSize size) {
        out << "showing the editor (" << size.width << "x" << size.height << "); close the window to stop\n"
            << std::flush;
        AudioPacer audio(plugin, session);
        const auto start = Clock::now();
        auto next = start;
        while (!window.closeRequested()) {
          if (options->seconds && Clock::now() - start >= std::chrono::duration<double>(*options->seconds)) break;
          plugin.dispatch(effEditIdle);
          audio.run();
          if (auto requested = requestedEditorSize(session, size)) {
            size = *requested;
            window.resize(size);
          }
          next += kIdlePeriod;
          const auto now = Clock::now();
          if (next < now) next = now;
          std::this_thread::sleep_until(next);
        }
        std::string failure;
        if (!options->outPath.empty() && !writePicture(window, size, options->outPath, failure))
          return fail(err, failure, kExitFailure);
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
        for (int i = 0; i < kScreenshotIdles; ++i) {
          window.closeRequested();
          plugin.dispatch(effEditIdle);
          std::this_thread::sleep_for(kScreenshotIdleGap);
        }
        plugin.dispatch(effEditIdle);
        std::string failure;
        if (!writePicture(window, size, options->outPath, failure)) return fail(err, failure, kExitFailure);
        out << "wrote " << options->outPath << ": " << size.width << "x" << size.height << '\n';
        return kExitOk;
      });
}

}  // namespace thudra::host
