#ifndef STARTUP_H
#define STARTUP_H

// Called before the application object is built. The panel draws with widgets
// only and never uses OpenGL, yet on X11 the toolkit loads and sets up the
// system's OpenGL libraries at start-up all the same, which more than doubles
// both the time until the window shows and the memory the panel takes. Unless
// the user has set QT_XCB_GL_INTEGRATION (even to an empty value, which leaves
// the choice to the toolkit), this sets it to "none". Only the toolkit's X11
// platform reads the variable.
void skipOpenGlIntegration();

// On Windows, the toolkit sends the log to the debugger alone, unless a
// console is attached. This sends each line to standard error as well, as on
// Linux, so that "tav-panel.exe 2> journal.txt" keeps it (and Wine shows it).
// Elsewhere it does nothing.
void logToStandardErrorToo();

#endif // STARTUP_H
