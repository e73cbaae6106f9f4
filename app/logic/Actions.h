// The main window's events, the load step, a click on a BtnMain button and a request to close
// the window, as logic that needs no window of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ActionHost.h"

namespace kestrelwing {

// Indexes of the BtnMain control array.
enum BtnMainIndex : std::int16_t {
  BtnBrowse = 0,      // "..."
  BtnGenerate = 1,    // "Generar SxS"
  BtnRegister = 2,    // "Registrar"
  BtnUnregister = 3,  // "Desregistrar"
};

inline constexpr std::u16string_view kComponentFilter =
    u"Activex objects|*.dll;*.ocx|All files|*.*";

// The command line's text with every double quote removed.
std::u16string CleanCommandLine(std::u16string_view commandLine);

// The load step: a non-empty command line, cleaned, becomes the text of Txt0.
void OnLoad(ActionHost& host, std::u16string_view commandLine);

// The question asked when the window is to be closed while the action of BtnMain(index) is under
// way.
std::u16string CloseQuestion(std::int16_t index);

// The BtnMain actions of one window, one at a time. The window keeps answering while an action
// waits for its tool or for a box, so a click or a close request can arrive in the middle of one:
// a click is ignored then, and a close request asks whether to close the window once the action
// is over. The tool is never stopped, and the window is never closed under the action.
class FrmMainActions {
 public:
  explicit FrmMainActions(ActionHost& host) : host_(host) {}
  FrmMainActions(const FrmMainActions&) = delete;
  FrmMainActions& operator=(const FrmMainActions&) = delete;

  // A click on BtnMain(index); other indexes do nothing, and so does every click while an action
  // is under way.
  void OnBtnMainClick(std::int16_t index);

  // A request to close the window: true when it may close now. During an action the user is
  // asked (once at a time) whether to close it when the action is over; the window is then
  // closed through CloseWindow right after the action, after its last message.
  bool OnCloseRequest();

  bool ActionUnderWay() const { return running_.has_value(); }

 private:
  ActionHost& host_;
  std::optional<std::int16_t> running_;  // the index of the action under way
  bool asking_ = false;                  // the close question is on the screen
  bool closeWhenDone_ = false;
};

}  // namespace kestrelwing
