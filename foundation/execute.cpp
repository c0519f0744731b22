// Double-fork launching. The program has threads (the interpreter's, Qt's),
// so after fork the children may call only async-signal-safe functions:
// every text they might write is made before forking and sent with write(2).
#include "foundation/execute.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <QMessageBox>
#include <QObject>

namespace {

// strerror's texts for every errno value the system knows, taken in the
// parent, because strerror may allocate or lock and so is barred in a child.
class ErrnoTexts
{
public:
    ErrnoTexts()
    {
        for (int number = 0; number < count; ++number) {
            char buffer[256];
            // GNU strerror_r returns its text, which may or may not be buffer.
            const char* text = strerror_r(number, buffer, sizeof buffer);
            texts.emplace_back(text ? text : "");
            if (texts.back().size() > longest)
                longest = texts.back().size();
        }
    }

    const char* text(int number) const
    {
        return number >= 0 && number < count ? texts[number].c_str() : "Unknown error";
    }

    size_t longestText() const
    {
        return longest > 13 ? longest : 13;
    }

private:
    static constexpr int count = 256;
    std::vector<std::string> texts;
    size_t longest = 0;
};

// One line a child may write to standard error: a fixed beginning known
// before the fork, then errno in decimal and its text. The buffer is
// allocated up front so that writing it needs no allocation.
class ChildReport
{
public:
    ChildReport(const std::string& beginning, const ErrnoTexts& texts)
        : prefixLength(beginning.size()),
          buffer(beginning.size() + 32 + texts.longestText()),
          texts(texts)
    {
        std::memcpy(buffer.data(), beginning.data(), beginning.size());
    }

    // Async-signal-safe: only hand-made digits, copies and write(2).
    void write(int number)
    {
        char* out = buffer.data() + prefixLength;
        char digits[16];
        int digitCount = 0;
        unsigned value = static_cast<unsigned>(number);
        do {
            digits[digitCount++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (digitCount > 0)
            *out++ = digits[--digitCount];
        *out++ = ' ';
        *out++ = '(';
        for (const char* text = texts.text(number); *text; ++text)
            *out++ = *text;
        *out++ = ')';
        *out++ = '\n';

        const char* next = buffer.data();
        size_t left = static_cast<size_t>(out - buffer.data());
        while (left > 0) {
            ssize_t written = ::write(STDERR_FILENO, next, left);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            next += written;
            left -= static_cast<size_t>(written);
        }
    }

private:
    size_t prefixLength;
    std::vector<char> buffer;
    const ErrnoTexts& texts;
};

// The streams for launched programs, and the lock that keeps them from being
// changed (and the descriptors closed) between a launch's reading them and
// its fork.
std::mutex childStreamsMutex;
int childStdout = -1;
int childStderr = -1;

} // namespace

void Execute::setChildStreams(int out, int err)
{
    std::lock_guard<std::mutex> lock(childStreamsMutex);
    childStdout = out;
    childStderr = err;
}

void Execute::execute(QWidget* parent, char* const* argv)
{
    ErrnoTexts texts;
    ChildReport secondForkFailed("second fork() failed; errno = ", texts);
    ChildReport execFailed(std::string("execv(\"") + argv[0] + "\", ...) failed; errno = ", texts);

    // The launched program must start as any program would: the interpreter
    // ignores SIGPIPE and SIGXFSZ, and ignored signals survive exec; the GUI
    // thread blocks SIGCHLD while a worker runs, and the mask survives too.
    struct sigaction defaultAction;
    std::memset(&defaultAction, 0, sizeof defaultAction);
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigset_t emptyMask;
    sigemptyset(&emptyMask);

    std::unique_lock<std::mutex> streamsLock(childStreamsMutex);
    const int out = childStdout;
    const int err = childStderr;
    pid_t child = fork();
    // Only the parent lets go: a child may call nothing that is not
    // async-signal-safe, and it leaves through _exit without the lock's
    // destructor.
    if (child != 0)
        streamsLock.unlock();
    if (child < 0) {
        int number = errno;
        QMessageBox::critical(parent, QObject::tr("Help"),
                              QObject::tr("fork() failed; errno = %1 (%2)")
                                  .arg(number)
                                  .arg(QString::fromLocal8Bit(texts.text(number))),
                              QMessageBox::Ok);
        return;
    }
    if (child == 0) {
        pid_t grandchild = fork();
        if (grandchild < 0) {
            secondForkFailed.write(errno);
            _exit(1);
        }
        if (grandchild == 0) {
            sigaction(SIGPIPE, &defaultAction, nullptr);
            sigaction(SIGXFSZ, &defaultAction, nullptr);
            sigprocmask(SIG_SETMASK, &emptyMask, nullptr);
            // dup2 leaves the copies without close-on-exec.
            if (out >= 0)
                dup2(out, STDOUT_FILENO);
            if (err >= 0)
                dup2(err, STDERR_FILENO);
            execv(argv[0], argv);
            execFailed.write(errno);
            _exit(1);
        }
        // Leaving at once hands the grandchild to init, which reaps it.
        _exit(0);
    }

    // Reaps the middle child even while SIGCHLD is blocked; whether the
    // grandchild's exec worked is not known here.
    int status;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}
