// ActionHost: what the main window's actions need from the window and from the system. The
// program implements it over Win32 (FrmMain); tests record what the actions ask of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "FileStamp.h"

namespace kestrelwing {

// Window show states handed to a launched program (the values of SW_HIDE and SW_SHOWNORMAL).
enum ShowCommand : std::int32_t { ShowHidden = 0, ShowNormal = 1 };

enum class MessageIcon { Information, Error };

// What became of starting a program.
struct LaunchResult {
  bool launched = false;
  std::uint32_t error = 0;                // the system's error code when it did not start
  std::optional<std::uint32_t> exitCode;  // once waited for: how the program ended
};

// The system's error code when the user declines the elevation prompt (ERROR_CANCELLED).
inline constexpr std::uint32_t kElevationDeclined = 1223;

class ActionHost {
 public:
  virtual ~ActionHost() = default;

  // The text of the path box Txt0.
  virtual std::u16string PathText() const = 0;
  virtual void SetPathText(std::u16string text) = 0;

  // The file dialog: true with selectedPath set when the user chose a file.
  virtual bool ShowOpenDialog(std::u16string& selectedPath, std::u16string_view dialogTitle,
                              std::u16string_view filter) = 0;

  // Starts fileToRun elevated; with waitForExit, returns once it has ended, with its exit code
  // (none when there was no process to wait on).
  virtual LaunchResult RunElevated(std::u16string_view fileToRun, std::u16string_view parameters,
                                   std::u16string_view directory, ShowCommand showCommand,
                                   bool waitForExit) = 0;

  // True when a file or folder exists at path.
  virtual bool FileExists(std::u16string_view path) const = 0;

  // The stamp of the file at path, to tell whether a program wrote it; none without a file.
  virtual std::optional<FileStamp> StampOf(std::u16string_view path) const = 0;

  // A modal message box captioned with the program's title; returns when the user closed it.
  virtual void ShowMessage(std::u16string_view text, MessageIcon icon) = 0;

  // A modal question with the buttons Yes and No, captioned with the program's title; true for
  // Yes.
  virtual bool AskYesNo(std::u16string_view question) = 0;

  // Busy while an action waits for its tool: the BtnMain buttons disabled, the path box
  // read-only, the wait cursor over the window. caption becomes the window's caption.
  virtual void ShowBusy(bool busy, std::u16string_view caption) = 0;

  // Closes the window once the event being handled is over.
  virtual void CloseWindow() = 0;

  // A new empty file in the user's temporary folder, unique to this call; none when it cannot
  // be made.
  virtual std::optional<std::u16string> CreateTemporaryFile() = 0;

  // The folder of the running program, without a trailing backslash.
  virtual std::u16string ProgramFolder() const = 0;
};

}  // namespace kestrelwing
