// An ActionHost that records what the actions ask of the window and the system, and answers as
// a test tells it to.
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ActionHost.h"

#if defined(_WIN32)
#include "Files.h"
#else
#include <sys/stat.h>
#endif

namespace kestrelwing::testing {

struct Launch {
  std::u16string fileToRun;
  std::u16string parameters;
  std::u16string directory;
  ShowCommand showCommand;
  bool waitForExit;
  bool operator==(const Launch&) const = default;
};

struct Message {
  std::u16string text;
  MessageIcon icon;
  bool operator==(const Message&) const = default;
};

struct DialogCall {
  std::u16string title;
  std::u16string filter;
  bool operator==(const DialogCall&) const = default;
};

class RecordingHost : public ActionHost {
 public:
  std::u16string pathText;
  std::u16string programFolder = u"C:\\Program Files\\Kestrelwing";
  std::optional<std::u16string> dialogChoice;  // none: the user cancels
  std::uint32_t launchError = 0;               // nonzero: the launch fails with this error
  std::optional<std::uint32_t> exitCode = 0;   // what a program waited for ends with
  std::function<void()> whileLaunched;         // what the launched program does before it ends
  std::vector<std::u16string> existing;  // paths FileExists knows; others are looked up on disk
  std::function<bool()> answer = [] { return false; };  // the user's answer to a question
  std::optional<std::u16string> temporaryFile;          // none: no temporary file can be made

  std::vector<Launch> launches;
  std::vector<Message> messages;
  std::vector<DialogCall> dialogs;
  mutable std::vector<std::u16string> existenceTests;
  int pathTextSets = 0;
  std::vector<std::u16string> questions;
  std::vector<std::u16string> captions;          // every caption ShowBusy set, in order
  std::vector<std::u16string> captionsAtLaunch;  // the window's caption at each launch
  bool busy = false;
  std::u16string caption = u"Kestrelwing";
  int closeWindowCalls = 0;
  int temporaryFilesMade = 0;

  std::u16string PathText() const override { return pathText; }
  void SetPathText(std::u16string text) override {
    pathText = std::move(text);
    ++pathTextSets;
  }
  bool ShowOpenDialog(std::u16string& selectedPath, std::u16string_view dialogTitle,
                      std::u16string_view filter) override {
    dialogs.push_back({std::u16string(dialogTitle), std::u16string(filter)});
    if (!dialogChoice) return false;
    selectedPath = *dialogChoice;
    return true;
  }
  LaunchResult RunElevated(std::u16string_view fileToRun, std::u16string_view parameters,
                           std::u16string_view directory, ShowCommand showCommand,
                           bool waitForExit) override {
    launches.push_back({std::u16string(fileToRun), std::u16string(parameters),
                        std::u16string(directory), showCommand, waitForExit});
    captionsAtLaunch.push_back(busy ? caption : u"(not busy)");
    if (launchError != 0) return {false, launchError, std::nullopt};
    if (whileLaunched) whileLaunched();
    return {true, 0, waitForExit ? exitCode : std::nullopt};
  }
  bool FileExists(std::u16string_view path) const override {
    existenceTests.emplace_back(path);
    for (const auto& known : existing) {
      if (known == path) return true;
    }
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(std::u16string(path)), error);
  }
  // The file system's own answer: the Windows one under Wine, inode and change time here.
  std::optional<FileStamp> StampOf(std::u16string_view path) const override {
    const std::filesystem::path file{std::u16string(path)};
#if defined(_WIN32)
    return kestrelwing::StampOf(file.wstring());
#else
    struct stat status;
    if (stat(file.c_str(), &status) != 0 || S_ISDIR(status.st_mode)) return std::nullopt;
    return FileStamp{static_cast<std::uint32_t>(status.st_dev),
                     static_cast<std::uint64_t>(status.st_ino),
                     static_cast<std::uint64_t>(status.st_mtim.tv_sec) * 1'000'000'000u +
                         static_cast<std::uint64_t>(status.st_mtim.tv_nsec)};
#endif
  }
  void ShowMessage(std::u16string_view text, MessageIcon icon) override {
    messages.push_back({std::u16string(text), icon});
  }
  bool AskYesNo(std::u16string_view question) override {
    questions.emplace_back(question);
    return answer();
  }
  void ShowBusy(bool isBusy, std::u16string_view newCaption) override {
    busy = isBusy;
    caption = newCaption;
    captions.push_back(caption);
  }
  void CloseWindow() override {
    ++closeWindowCalls;
  }
  std::optional<std::u16string> CreateTemporaryFile() override {
    if (!temporaryFile) return std::nullopt;
    std::ofstream(std::filesystem::path(*temporaryFile), std::ios::binary);
    ++temporaryFilesMade;
    return temporaryFile;
  }
  std::u16string ProgramFolder() const override {
    return programFolder;
  }
};

}  // namespace kestrelwing::testing
