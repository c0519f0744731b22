// Test support for the interpreter wrapper: a Python that records what it
// reports, one interpreter shared by every test of a process, and capture of
// the process's standard error.
#pragma once

#include "engine/python.h"

#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

class RecordingPython : public Python
{
public:
    void error(const char* text) override { errors.push_back(text); }
    void warning(const char* text) override { warnings.push_back(text); }
    void exceptionExpected() override
    {
        ++expectedCount;
        Python::exceptionExpected();
    }
    void exceptionError() override
    {
        ++errorCount;
        Python::exceptionError();
    }

    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    int expectedCount = 0;
    int errorCount = 0;
};

// Redirects file descriptor 2 into a pipe for the life of the object;
// text() restores it and returns what was written.
class StderrCapture
{
public:
    StderrCapture()
    {
        fflush(stderr);
        saved = dup(2);
        if (pipe(fds) == 0) {
            fcntl(fds[0], F_SETFL, O_NONBLOCK);
            dup2(fds[1], 2);
        }
    }
    ~StderrCapture() { text(); }

    std::string text()
    {
        if (saved < 0)
            return captured;
        fflush(stderr);
        dup2(saved, 2);
        close(saved);
        saved = -1;
        close(fds[1]);
        char buffer[4096];
        ssize_t n;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
            captured.append(buffer, size_t(n));
        close(fds[0]);
        return captured;
    }

private:
    int fds[2] = {-1, -1};
    int saved = -1;
    std::string captured;
};

// One interpreter per process: the wrapper's destructor finalises it, and
// extension modules such as rpm cannot be loaded again afterwards, so every
// test of a process shares one wrapper that lives until the process ends.
class PythonTest : public ::testing::Test
{
protected:
    static RecordingPython& shared()
    {
        static RecordingPython* python = new RecordingPython;
        return *python;
    }

    void SetUp() override
    {
        python = &shared();
        ASSERT_TRUE(python->initialize());
        python->errors.clear();
        python->warnings.clear();
        python->expectedCount = 0;
        python->errorCount = 0;
    }

    // A function of __main__ that raises the given exception, for calls.
    void defineRaiser(const char* name, const char* raise)
    {
        Python::PyGILStateWrapper lock(true);
        ASSERT_TRUE(python->pyf("def %s(*args):\n    %s\n", name, raise));
    }

    RecordingPython* python = nullptr;
};
