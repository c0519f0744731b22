// The credential check run before every collection of packages: asks for
// the kivrel credentials that the repositories in use leave empty, and
// writes the answers back into the repository files.
#pragma once

#include <QString>

class QWidget;
class YumConfIO;

namespace RepoAuth
{

class Dialog;

class Checker
{
public:
    struct Auth
    {
        QString user;
        QString password;
    };

    // Does the whole check: reads the configuration afresh, asks, writes.
    // The caller then reads `quit` and `changed`.
    Checker(QWidget* parent, YumConfIO* conf);
    ~Checker();
    Checker(const Checker&) = delete;
    Checker& operator=(const Checker&) = delete;

    // The user answered Quit.
    bool quit = false;
    // Credentials were entered, so the configuration was written (also
    // when the write then failed, which has been reported).
    bool changed = false;
    // Created at the first question.
    Dialog* dialog = nullptr;
};

}
