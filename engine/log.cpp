// The log's entries and the list that holds them.
#include "engine/log.h"

#include <algorithm>
#include <limits>
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
    return count();
}

namespace {

// The size of the blocks that hold the texts; a longer line gets a block
// of its own.
const int blockBytes = 1 << 20;

bool fitsLatin1(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xff)
            return false;
    }
    return true;
}

}

Log::Entry EntryList::at(int i) const
{
    int length = 0;
    return at(i, std::numeric_limits<int>::max(), length);
}

Log::Entry EntryList::at(int i, int maxCharacters, int& length) const
{
    const Record& record = records[size_t(i)];
    const char* data = blocks[record.block].constData() + record.offset;
    length = int(record.wide ? record.size / 2 : record.size);
    const int taken = std::min(length, std::max(maxCharacters, 0));
    QString text = record.wide ? QString(reinterpret_cast<const QChar*>(data), taken)
                               : QString::fromLatin1(data, taken);
    return Log::Entry(Log::Kind(record.kind), record.level, std::move(text));
}

void EntryList::append(const Log::Entry& entry)
{
    const bool wide = !fitsLatin1(entry.text);
    const int bytes = entry.text.size() * (wide ? 2 : 1);
    // Two-byte characters start at an even offset.
    int offset = blocks.empty() ? 0 : blocks.back().size();
    if (wide)
        offset += offset % 2;
    if (blocks.empty() || offset + bytes > blocks.back().capacity()) {
        blocks.emplace_back();
        blocks.back().reserve(std::max(blockBytes, bytes));
        offset = 0;
    }
    QByteArray& block = blocks.back();
    block.resize(offset);
    if (wide) {
        block.append(reinterpret_cast<const char*>(entry.text.constData()), bytes);
    } else {
        block.resize(offset + bytes);
        char* out = block.data() + offset;
        for (const QChar c : entry.text)
            *out++ = char(c.unicode());
    }
    records.push_back(Record{quint32(blocks.size() - 1), quint32(offset), quint32(bytes),
                             entry.level, qint32(entry.kind), wide});
}

void EntryList::emitAppended()
{
    emit appended();
}

}
