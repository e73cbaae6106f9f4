// The main window's two events, the load step and a click on a BtnMain button, as logic that
// needs no window of its own.
#pragma once

#include <cstdint>
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

// A click on BtnMain(index); other indexes do nothing.
void OnBtnMainClick(ActionHost& host, std::int16_t index);

}  // namespace kestrelwing
