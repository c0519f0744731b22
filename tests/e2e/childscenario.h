// A scenario that needs a process of its own (the interpreter starts once
// per process): the test runs itself again in a child with a marker
// variable set, and the parent checks that the child passed it.
#pragma once

#include <QString>

// Runs this executable's test `fullName` ("Suite.Name") in a child process
// with `variable` set, and fails the calling test unless the child ran and
// passed it within three minutes.
void expectScenarioPassesInChild(const char* variable, const QString& fullName);
