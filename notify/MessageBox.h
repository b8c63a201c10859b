// One replaceable message-box function. The dialog program shows a real message box;
// the command-line tools print to standard error; tests capture the texts.
#pragma once

#include <functional>
#include <string>

using MessageBoxFn = std::function<void(const std::string& text)>;

// Shows text (8-bit Windows-1252, as every fixed text of the program is ASCII).
void showMessageBox(const std::string& text);

// Replaces the function; returns the previous one. Not thread-safe: set it before
// any thread that may show a message starts.
MessageBoxFn setMessageBoxFunction(MessageBoxFn fn);
