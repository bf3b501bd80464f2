// The window system's connection (the X server the window is on). Xlib ends
// the process at once when that connection breaks: the server ended, the
// SSH session that forwarded it dropped, the desktop session closed. The
// game instead names the display in one line; once its window is ready it
// ends its level as a closed window does, so that the end-of-level script
// still runs (its drawing does nothing).
#pragma once

// Starts the window system (glfwInit); false when it cannot. From here a
// lost connection is noted, with one line on standard error naming the
// display, instead of Xlib's own lines and exit; until
// DisplayConnectionReady the process then exits with status 1, also when
// the loss makes the window's making crash.
bool OpenDisplayConnection();
// Once the window and its context are made: a loss only is noted from then on.
// A guarded call into the window system (CallWindowSystem) that meets it,
// by a crash or by Xlib's report, is left.
void DisplayConnectionReady();
// Ends the window system (glfwTerminate), also after a start that failed;
// after a call was left in the middle, nothing is asked of it any more.
void CloseDisplayConnection();
// Whether the connection broke.
bool DisplayLost();
// Whether the window system may be asked anything: false once the loss is
// noted, and when the server has hung up since, which notes it.
bool DisplayAnswers();
