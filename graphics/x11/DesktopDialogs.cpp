#include "graphics/x11/DesktopDialogs.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace desktop {

namespace {

enum class DialogTool { None, Zenity, Kdialog };

DialogTool AvailableDialogTool() {
  if (!FindOnPath("zenity").empty()) return DialogTool::Zenity;
  if (!FindOnPath("kdialog").empty()) return DialogTool::Kdialog;
  return DialogTool::None;
}

std::string TrimLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

int32_t ClampChannel(long value) { return value < 0 ? 0 : value > 255 ? 255 : int32_t(value); }

bool ParseHexColor(const std::string& text, ArgbColor& color) {
  if (text.size() != 7 && text.size() != 13) return false;  // #rrggbb or #rrrrggggbbbb
  const size_t digits = (text.size() - 1) / 3;
  int32_t channels[3];
  for (size_t c = 0; c < 3; ++c) {
    const std::string part = text.substr(1 + c * digits, 2);  // the high byte
    char* end = nullptr;
    const long value = std::strtol(part.c_str(), &end, 16);
    if (!end || *end || part.size() != 2) return false;
    channels[c] = ClampChannel(value);
  }
  color.red = channels[0];
  color.green = channels[1];
  color.blue = channels[2];
  return true;
}

}  // namespace

std::string FindOnPath(const std::string& program) {
  if (program.empty() || program.find('/') != std::string::npos) return {};
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = folders.substr(start, end - start);
    start = end + 1;
    if (folder.empty() || folder[0] != '/') continue;  // relative PATH entries are not trusted
    const std::string candidate = folder + "/" + program;
    struct stat info {};
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return {};
}

bool DialogToolAvailable() { return AvailableDialogTool() != DialogTool::None; }

ToolProcess::~ToolProcess() {
  // A dialog nobody waits for any more: nothing it could still answer is used.
  if (child_ > 0) kill(child_, SIGKILL);
  Reap(true);
  CloseOutput();
}

bool ToolProcess::Start(const std::vector<std::string>& command) {
  if (run_.started || command.empty()) return false;
  const std::string program = FindOnPath(command[0]);
  if (program.empty()) return false;

  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // The host's descriptors (its X connection among them) stay with the host.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  std::vector<char*> argv;
  for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = -1;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (spawned != 0) {
    close(pipeEnds[0]);
    return false;
  }
  fcntl(pipeEnds[0], F_SETFL, fcntl(pipeEnds[0], F_GETFL) | O_NONBLOCK);
  outputFd_ = pipeEnds[0];
  child_ = child;
  run_.started = true;
  return true;
}

bool ToolProcess::ReadAvailable() {
  if (outputFd_ < 0) return true;
  char chunk[4096];
  for (;;) {
    const ssize_t got = read(outputFd_, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    if (got <= 0) {
      CloseOutput();
      return true;
    }
    const size_t room = kMaxToolOutput - run_.output.size();
    run_.output.append(chunk, size_t(got) < room ? size_t(got) : room);
  }
}

bool ToolProcess::Reap(bool block) {
  if (child_ <= 0) return true;
  int status = 0;
  pid_t waited;
  do {
    waited = waitpid(child_, &status, block ? 0 : WNOHANG);
  } while (waited < 0 && errno == EINTR);
  if (waited == 0) return false;
  // Anything else means it is gone (a host reaping every child itself
  // leaves no status: the run then counts as failed).
  if (waited == child_ && WIFEXITED(status)) run_.exitCode = WEXITSTATUS(status);
  child_ = -1;
  return true;
}

void ToolProcess::CloseOutput() {
  if (outputFd_ >= 0) close(outputFd_);
  outputFd_ = -1;
}

bool ToolProcess::Poll() {
  if (!run_.started) return true;
  const bool outputEnded = ReadAvailable();
  if (!Reap(false)) return false;
  if (!outputEnded) {
    // It wrote everything before it exited; whatever it left running with
    // the pipe open does not keep the answer waiting.
    ReadAvailable();
    CloseOutput();
  }
  return true;
}

void ToolProcess::WaitUntilFinished(const ToolWait& wait) {
  while (!Poll()) {
    if (outputFd_ < 0) {
      Reap(true);  // its output ended; it is about to exit
    } else if (wait) {
      wait(outputFd_);
    } else {
      pollfd ready{outputFd_, POLLIN, 0};
      poll(&ready, 1, 100);
    }
  }
}

ToolRun RunTool(const std::vector<std::string>& command, const ToolWait& wait) {
  ToolProcess tool;
  if (!tool.Start(command)) return ToolRun{};
  tool.WaitUntilFinished(wait);
  return tool.Result();
}

int32_t DismissedAnswer(int32_t type) {
  switch (type & kMessageKindMask) {
    case kMessageOk:
      return kAnswerOk;
    case kMessageYesNo:
      return kAnswerNo;
    case kMessageAbortRetryIgnore:
      return kAnswerAbort;
    default:
      return kAnswerCancel;
  }
}

std::vector<std::string> MessageBoxCommand(const std::string& text, const std::string& caption, int32_t type) {
  const int32_t kind = type & kMessageKindMask;
  const bool question = kind != kMessageOk;
  const DialogTool tool = AvailableDialogTool();
  if (tool == DialogTool::None) return {};

  // The dialog tools offer two buttons: the accepting answer and the other.
  std::string yes = "Yes";
  std::string no = "No";
  if (kind == kMessageOkCancel) {
    yes = "OK";
    no = "Cancel";
  } else if (kind == kMessageRetryCancel) {
    yes = "Retry";
    no = "Cancel";
  } else if (kind == kMessageAbortRetryIgnore) {
    yes = "Retry";
    no = "Abort";
  }
  std::vector<std::string> command;
  if (tool == DialogTool::Zenity) {
    std::string mode = "--info";
    if ((type & kMessageIconMask) == kMessageIconError) mode = "--error";
    if ((type & kMessageIconMask) == kMessageIconWarning) mode = "--warning";
    if (question) mode = "--question";
    command = {"zenity", mode, "--no-markup", "--title=" + caption, "--text=" + text};
    if (question) {
      command.push_back("--ok-label=" + yes);
      command.push_back("--cancel-label=" + no);
    }
  } else {
    command = {"kdialog", "--title", caption};
    if (question) {
      command.insert(command.end(), {"--yesno", text, "--yes-label", yes, "--no-label", no});
    } else {
      command.insert(command.end(), {"--msgbox", text});
    }
  }
  return command;
}

int32_t MessageBoxAnswer(int32_t type, const ToolRun& run) {
  const int32_t kind = type & kMessageKindMask;
  if (!run.started || run.exitCode < 0) return DismissedAnswer(type);
  if (kind == kMessageOk) return kAnswerOk;
  const bool accepted = run.exitCode == 0;
  switch (kind) {
    case kMessageOkCancel:
      return accepted ? kAnswerOk : kAnswerCancel;
    case kMessageRetryCancel:
      return accepted ? kAnswerRetry : kAnswerCancel;
    case kMessageAbortRetryIgnore:
      return accepted ? kAnswerRetry : kAnswerAbort;
    default:
      return accepted ? kAnswerYes : kAnswerNo;
  }
}

int32_t ShowMessageBox(const std::string& text, const std::string& caption, int32_t type, const ToolWait& wait) {
  const std::vector<std::string> command = MessageBoxCommand(text, caption, type);
  if (command.empty()) return DismissedAnswer(type);
  return MessageBoxAnswer(type, RunTool(command, wait));
}

std::string ExtensionPatterns(const char* extensions, const std::string& separator) {
  std::string patterns;
  if (!extensions) return patterns;
  const char* at = extensions;
  while (*at) {
    while (*at == ' ') ++at;
    const char* end = at;
    while (*end && *end != ' ') ++end;
    if (end > at) {
      if (!patterns.empty()) patterns += separator;
      patterns += "*." + std::string(at, size_t(end - at));
    }
    at = end;
  }
  return patterns;
}

std::vector<std::string> FileDialogCommand(bool save, const std::string& folder, const std::string& file,
                                           const char* extensions) {
  const DialogTool tool = AvailableDialogTool();
  if (tool == DialogTool::None) return {};
  std::string start = folder;
  if (!start.empty() && start.back() != '/') start += '/';
  start += file;
  std::vector<std::string> command;
  if (tool == DialogTool::Zenity) {
    command = {"zenity", "--file-selection", "--filename=" + start};
    if (save) command.insert(command.end(), {"--save", "--confirm-overwrite"});
    const std::string patterns = ExtensionPatterns(extensions, " ");
    if (!patterns.empty()) command.push_back("--file-filter=" + patterns);
  } else {
    command = {"kdialog", save ? "--getsavefilename" : "--getopenfilename", start.empty() ? "." : start};
    const std::string patterns = ExtensionPatterns(extensions, " ");
    if (!patterns.empty()) command.push_back(patterns);
  }
  return command;
}

bool FileDialogAnswer(const ToolRun& run, std::string& chosen) {
  if (run.exitCode != 0) return false;
  std::string path = TrimLineEnd(run.output);
  if (path.empty() || path[0] != '/' || path.find('\n') != std::string::npos) return false;
  // Exactly the name the tool confirmed: a caller that adds an extension
  // must ask again before replacing what that name points at.
  chosen = path;
  return true;
}

bool ChooseFile(bool save, const std::string& folder, const std::string& file, const char* extensions,
                std::string& chosen, const ToolWait& wait) {
  const std::vector<std::string> command = FileDialogCommand(save, folder, file, extensions);
  if (command.empty()) return false;
  return FileDialogAnswer(RunTool(command, wait), chosen);
}

bool ParseColorAnswer(const std::string& answer, ArgbColor& color) {
  const std::string text = TrimLineEnd(answer);
  if (!text.empty() && text[0] == '#') return ParseHexColor(text, color);
  int red = 0, green = 0, blue = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "rgb(%d,%d,%d%c", &red, &green, &blue, &tail) == 4 ||
      std::sscanf(text.c_str(), "rgba(%d,%d,%d,%*[^)]%c", &red, &green, &blue, &tail) == 4) {
    if (tail != ')') return false;
    color.red = ClampChannel(red);
    color.green = ClampChannel(green);
    color.blue = ClampChannel(blue);
    return true;
  }
  return false;
}

bool ChooseColor(ArgbColor& color, const char* prompt, const ToolWait& wait) {
  const DialogTool tool = AvailableDialogTool();
  if (tool == DialogTool::None) return false;
  char start[32];
  std::snprintf(start, sizeof start, "#%02x%02x%02x", unsigned(color.red & 0xFF), unsigned(color.green & 0xFF),
                unsigned(color.blue & 0xFF));
  std::vector<std::string> command;
  if (tool == DialogTool::Zenity) {
    command = {"zenity", "--color-selection", std::string("--color=") + start};
    if (prompt && *prompt) command.push_back(std::string("--title=") + prompt);
  } else {
    command = {"kdialog", "--getcolor", "--default", start};
    if (prompt && *prompt) command.insert(command.end(), {"--title", prompt});
  }
  const ToolRun run = RunTool(command, wait);
  if (run.exitCode != 0) return false;
  ArgbColor chosen = color;
  if (!ParseColorAnswer(run.output, chosen)) return false;
  color = chosen;  // alpha stays as it was
  return true;
}

bool OpenUrl(const std::string& url, const ToolWait& wait) {
  if (url.empty() || url[0] == '-') return false;
  const ToolRun run = RunTool({"xdg-open", url}, wait);
  return run.started && run.exitCode == 0;
}

}  // namespace desktop
