// Shared between the input module's own files.
#pragma once

namespace InputManager {
// The action maps with the default bindings and the action-character list.
void CreateActionTables();
void DestroyActionTables();
// Each action-character row whose action fired for player 0 sends its
// character to the GUI root.
void SendActionCharacters();
}  // namespace InputManager
