// The window system's connection (the X server the window is on). Xlib ends
// the process at once when that connection breaks: the server ended, the
// SSH session that forwarded it dropped, the desktop session closed. The
// game instead names the display in one line; once its window is ready it
// ends its level as a closed window does, so that the end-of-level script
// still runs (its drawing does nothing).
//
// Xlib ends it as well, with its own report, when the server refuses a
// request that nobody expected to fail, which other programs can cause: the
// game's window destroyed from outside, a drag-and-drop message naming a
// window that has gone, a resource of GLFW's freed. The game's own handler
// is in place from the start on instead. A refusal that says the game's
// window is gone ends the level as a lost display does; any other is noted
// in one line (each kind once) and the game plays on.
#pragma once

struct GLFWwindow;

// Starts the window system (glfwInit); false when it cannot. From here a
// lost connection is noted, with one line on standard error naming the
// display, instead of Xlib's own lines and exit; until
// DisplayConnectionReady the process then exits with status 1, also when
// the loss makes the window's making crash.
bool OpenDisplayConnection();
// Once the window and its context are made: a loss only is noted from then on
// (until then a loss, or any refused request, ends the game with one line and
// 1). A guarded call into the window system (CallWindowSystem) that meets it,
// by a crash or by Xlib's report, is left.
void DisplayConnectionReady(GLFWwindow* window);
// Ends the window system (glfwTerminate), also after a start that failed;
// after a call was left in the middle, or once the game's window is gone,
// nothing is asked of it any more.
void CloseDisplayConnection();
// Whether the connection broke, or the game's window went with it.
bool DisplayLost();
// Whether the window system may be asked anything: false once the loss is
// noted, and when the server has hung up since, which notes it.
bool DisplayAnswers();
