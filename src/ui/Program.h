#pragma once

// Starts the program: the application, its five windows with only the main window shown, and
// the event loop until the main window closes. Returns the exit status.
int RunProgram(int argc, char** argv);
