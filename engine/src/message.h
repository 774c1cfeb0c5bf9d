// Messages the engine shows its user (in place of a message box).
#pragma once

namespace trimcore {

// Hands text to the installed handler, or writes it to standard error.
void ShowMessage(const char* text);

}  // namespace trimcore
