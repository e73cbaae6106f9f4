// FrmMain: the program's only window. A path box (Txt0) with a browse button inside a frame, and
// a row of three action buttons; the BtnMain buttons dispatch to the actions by their index.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "ActionHost.h"
#include "Actions.h"
#include "Win32Handles.h"

namespace kestrelwing {

// The window's controls, in creation order.
enum FrmMainControl : int {
  BtnMain1,
  BtnMain2,
  BtnMain3,
  Frame1,
  Picture1,
  BtnMain0,
  Txt0,
  FrmMainControlCount
};

class FrmMain final : public ActionHost {
 public:
  // Registers the window classes; once per process, before Create.
  static bool Register(HINSTANCE instance);

  // Creates and shows the window; its load step puts commandLine into Txt0.
  bool Create(HINSTANCE instance, std::wstring commandLine, int showCommand);

  HWND Handle() const { return window_; }

  // ActionHost
  std::u16string PathText() const override;
  void SetPathText(std::u16string text) override;
  bool ShowOpenDialog(std::u16string& selectedPath, std::u16string_view dialogTitle,
                      std::u16string_view filter) override;
  LaunchResult RunElevated(std::u16string_view fileToRun, std::u16string_view parameters,
                           std::u16string_view directory, ShowCommand showCommand,
                           bool waitForExit) override;
  bool FileExists(std::u16string_view path) const override;
  std::optional<FileStamp> StampOf(std::u16string_view path) const override;
  void ShowMessage(std::u16string_view text, MessageIcon icon) override;
  bool AskYesNo(std::u16string_view question) override;
  void ShowBusy(bool busy, std::u16string_view caption) override;
  void CloseWindow() override;
  std::optional<std::u16string> CreateTemporaryFile() override;
  std::u16string ProgramFolder() const override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  bool OnCreate();
  void OnCommand(WORD id, WORD code);
  void OnActivate(WORD state);
  void OnClose();
  bool OnSetCursor(WORD hitTest);

  // Sets the cursor the window wants at the mouse's position now, without waiting for it to move.
  void RefreshCursor() const;

  bool CreateControls();
  int Pixels(int twips) const;  // at the window's DPI

  HINSTANCE instance_ = nullptr;
  HWND window_ = nullptr;
  std::wstring commandLine_;
  int dpi_ = USER_DEFAULT_SCREEN_DPI;
  UniqueFont font_;
  UniqueFont boldFont_;
  std::array<HWND, FrmMainControlCount> controls_{};
  HWND focused_ = nullptr;  // the control that had the focus when the window was deactivated
  FrmMainActions actions_{*this};
  bool busy_ = false;
  HWND focusedBeforeBusy_ = nullptr;
};

}  // namespace kestrelwing
