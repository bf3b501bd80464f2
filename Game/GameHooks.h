// Where the lower layers tell the game something, or ask it: each layer
// offers a hook and knows nothing above it; this installs them all.
#pragma once

#include "Input/InputManager.h"

// Installs every hook that ties the layers together. Start-up runs it, and
// so does the registration that test fixtures call; running it again
// installs the same hooks again.
void InstallGameHooks();

// The GUI's entry points for what the input module hands it.
InputManager::GuiHooks GuiInputHooks();
