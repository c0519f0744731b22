// The two process-wide globals that main publishes: the application object,
// which the relays use to reach the GUI thread, and the program's base name,
// which the engine passes to the companion script as sys.argv.
#pragma once

class QApplication;

extern QApplication* application;
extern const char* program;
