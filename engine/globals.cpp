// Storage of the process-wide globals; main sets them before anything reads them.
#include "engine/globals.h"

QApplication* application = nullptr;
const char* program = "kuv";
