// The dialog's command window: builds the one the program runs with.
#pragma once

#include "app/CommandWindow.h"
#include "cmdwnd/CmdWndOwner.h"

#include <memory>

// Throws what constructing the command window throws.
std::unique_ptr<CommandWindow> MakeCommandWindow(CmdWndOwner& owner);
