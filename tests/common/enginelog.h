// Reading the engine's log in tests.
#pragma once

#include <QString>

class YumIO;

// How many of the log's entries are the text, counted under the log's mutex.
int logCount(YumIO& io, const QString& text);
