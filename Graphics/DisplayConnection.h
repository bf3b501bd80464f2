// The window system's connection (the X server the window is on). Xlib ends
// the process at once when that connection breaks: the server ended, the
// SSH session that forwarded it dropped, the desktop session closed. The
// game instead notes the loss and ends its level as a closed window does,
// so that the end-of-level script still runs (its drawing does nothing).
#pragma once

// After glfwInit: a lost connection from then on is noted, with one line on
// standard error naming the display, instead of ending the process.
void WatchDisplayConnection();
// Whether the connection broke since WatchDisplayConnection.
bool DisplayLost();
