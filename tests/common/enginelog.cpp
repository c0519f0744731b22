// Reading the engine's log in tests.
// The interpreter's header (through the engine's) comes before the C++
// library's, which Qt's headers bring in.
#include "engine/yumio.h"

#include "common/enginelog.h"

#include <QMutexLocker>

#include "engine/log.h"

int logCount(YumIO& io, const QString& text)
{
    QMutexLocker lock(&io.logList);
    int count = 0;
    for (const Log::Entry& entry : io.logList) {
        if (entry.text == text)
            ++count;
    }
    return count;
}
