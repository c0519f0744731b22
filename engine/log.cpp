// The log's entries and the list that holds them.
#include "engine/log.h"

#include <utility>

#include <QMutexLocker>

namespace Log
{

Entry::Entry(Log::Kind kind, unsigned int level, QString text)
    : kind(kind), level(level), text(std::move(text))
{
}

EntryList::EntryList()
    : QObject(nullptr)
{
}

EntryList::~EntryList() = default;

int EntryList::lockedCount()
{
    QMutexLocker locker(this);
    return QList<Log::Entry>::count();
}

void EntryList::emitAppended()
{
    emit appended();
}

}
