// Detached launching of external programs (the browser and viewer scripts).
#pragma once

class QWidget;

class Execute
{
public:
    // Starts argv[0] (a path, not searched on PATH) with argv as its
    // arguments, detached by a double fork so that it outlives the program
    // and leaves no zombie. Only a failed first fork is shown to the user, in
    // a box on parent; later failures are the children's, written to
    // standard error.
    static void execute(QWidget* parent, char* const* argv);

    Execute() = delete;
};
