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

    // The descriptors that programs launched from now on get as standard
    // output and error, -1 for the process's own. While the engine captures
    // the process's streams into its log, it hands over the streams from
    // before: a launched program must neither write into the log nor keep
    // the capture's pipe open. Waits for a launch under way to fork first.
    static void setChildStreams(int out, int err);

    Execute() = delete;
};
