// Where the lower layers tell the game something, or ask it: each layer
// offers a hook and knows nothing above it; this installs them all.
#pragma once

// Installs every hook that ties the layers together. Start-up runs it, and
// so does the registration that test fixtures call; running it again
// installs the same hooks again.
void InstallGameHooks();
