// The dialog's command window: builds the one the program runs with.
#pragma once

#include "app/CommandWindow.h"
#include "cmdwnd/CmdWndOwner.h"

#include <memory>

class MixerBackend;

// With ALSA's default mixer. Throws what constructing the command window throws.
std::unique_ptr<CommandWindow> MakeCommandWindow(CmdWndOwner& owner);
// With the given mixer (tests give a stand-in for a sound card's mixer).
std::unique_ptr<CommandWindow> MakeCommandWindow(CmdWndOwner& owner, std::unique_ptr<MixerBackend> mixer);
