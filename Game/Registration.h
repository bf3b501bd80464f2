// Registration of everything that is later found by name: Lua globals and
// class tables, console commands and variables, and the factories.
#pragma once

// Runs every registration once, in its fixed order. The executable runs it
// from one static initialiser before main; test fixtures may call it too:
// later calls do nothing unless the Lua state was closed and made anew, in
// which case the Lua globals and class tables are registered into it again.
void RunStaticRegistration();
