#pragma once
// The editor's system dialogs on a Linux desktop: zenity or kdialog when one
// is installed, run without a shell. With neither, every dialog answers as
// if the user had cancelled it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "graphics/GuiTypes.h"

namespace desktop {

// Message box kinds and answers, with the values the editor's callers use.
enum MessageBoxKind : int32_t {
  kMessageOk = 0,
  kMessageOkCancel = 1,
  kMessageAbortRetryIgnore = 2,
  kMessageYesNoCancel = 3,
  kMessageYesNo = 4,
  kMessageRetryCancel = 5,
  kMessageKindMask = 0xF,
  kMessageIconError = 0x10,
  kMessageIconQuestion = 0x20,
  kMessageIconWarning = 0x30,
  kMessageIconMask = 0xF0,
};
enum MessageBoxAnswer : int32_t {
  kAnswerOk = 1,
  kAnswerCancel = 2,
  kAnswerAbort = 3,
  kAnswerRetry = 4,
  kAnswerIgnore = 5,
  kAnswerYes = 6,
  kAnswerNo = 7,
};

struct ToolRun {
  bool started = false;
  int exitCode = -1;   // -1 when it did not exit normally
  std::string output;  // what it wrote to stdout, at most kMaxToolOutput bytes
};
constexpr size_t kMaxToolOutput = 65536;

// Called while a tool runs, with the descriptor its output arrives on: it
// returns once that descriptor is readable, or earlier to be called again,
// and may serve other work meanwhile (a window's events, say). Without one
// the wait blocks.
using ToolWait = std::function<void(int outputFd)>;

// A tool started without waiting for it: the caller polls it until it has
// finished. Destroying it while the tool runs kills and reaps the tool.
class ToolProcess {
public:
  ToolProcess() = default;
  ~ToolProcess();
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  // Starts the program found on PATH with these arguments (no shell
  // involved); false when it could not be started.
  bool Start(const std::vector<std::string>& command);
  // Takes what the tool wrote so far, never blocking; true once it has
  // exited and its result is complete.
  bool Poll();
  // Waits until the tool has finished; wait (if any) is called whenever
  // nothing is readable yet.
  void WaitUntilFinished(const ToolWait& wait);
  // The descriptor its output arrives on; -1 once that has ended.
  int OutputFd() const { return outputFd_; }
  const ToolRun& Result() const { return run_; }
  bool Running() const { return child_ > 0; }

private:
  // Reads what is there; true when the output has ended.
  bool ReadAvailable();
  // Reaps the tool; without block, false while it has not exited yet.
  bool Reap(bool block);
  void CloseOutput();

  ToolRun run_;
  int outputFd_ = -1;
  int child_ = -1;
};

// Runs the program found on PATH with these arguments (no shell involved),
// waits for it and collects its stdout.
ToolRun RunTool(const std::vector<std::string>& command, const ToolWait& wait = {});
// True when zenity or kdialog is on PATH; without one every dialog answers
// as cancelled.
bool DialogToolAvailable();
// The full path of an executable on PATH, or empty.
std::string FindOnPath(const std::string& program);

// The answer a dismissed box of this kind gives.
int32_t DismissedAnswer(int32_t type);
int32_t ShowMessageBox(const std::string& text, const std::string& caption, int32_t type, const ToolWait& wait = {});
// The two halves of ShowMessageBox, for a caller that runs the tool itself:
// the command (empty without a dialog tool) and the answer its run gives.
std::vector<std::string> MessageBoxCommand(const std::string& text, const std::string& caption, int32_t type);
int32_t MessageBoxAnswer(int32_t type, const ToolRun& run);

// "tvpreset" gives "*.tvpreset"; "wav aif" gives "*.wav *.aif" (joined by
// separator). Empty for no extensions.
std::string ExtensionPatterns(const char* extensions, const std::string& separator);

// True with the chosen path, exactly as the tool returned it (no extension
// added); false when cancelled or no dialog tool exists.
bool ChooseFile(bool save, const std::string& folder, const std::string& file, const char* extensions,
                std::string& chosen, const ToolWait& wait = {});
// The two halves of ChooseFile: the command (empty without a dialog tool),
// and the chosen path from its run (false as ChooseFile).
std::vector<std::string> FileDialogCommand(bool save, const std::string& folder, const std::string& file,
                                           const char* extensions);
bool FileDialogAnswer(const ToolRun& run, std::string& chosen);
// "rgb(1,2,3)", "rgba(1,2,3,0.5)" and "#rrggbb" as zenity and kdialog answer.
bool ParseColorAnswer(const std::string& text, ArgbColor& color);
bool ChooseColor(ArgbColor& color, const char* prompt, const ToolWait& wait = {});
// Hands url to the desktop's opener; false when that failed or the text
// could be read as an option.
bool OpenUrl(const std::string& url, const ToolWait& wait = {});

}  // namespace desktop
