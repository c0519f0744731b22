// The command line: the option table, the error messages and the usage text.
// Errors and the help request leave the process with status 1.
#pragma once

class MainWindow;

class CommandLine
{
public:
    // Parses the options into the window's fields, stopping at the first
    // operand; never returns on an error or a help request.
    static void parse(int argc, char** argv, MainWindow* window);

    [[noreturn]] static void usage();
};
