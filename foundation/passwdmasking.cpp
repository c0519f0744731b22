// Masking a real text for its editor, with password parts that stay hidden
// through edits.
#include "foundation/passwdmasking.h"

#include <utility>

PasswdMasking::PasswdMasking(const QRegExp& regExp)
    : regExp(regExp)
{
}

void PasswdMasking::setFinder(Finder finder)
{
    this->finder = std::move(finder);
    // The next call masks afresh, with the finder.
    lastMask = QChar();
}

QString PasswdMasking::shown(const QString& text, int cursor, QChar mask)
{
    if (text == real && mask == lastMask && !lastMask.isNull())
        return lastShown;

    // The characters before and after the edit are those of the last text:
    // they keep their hidden state. Among equal characters the cursor
    // places the edit.
    const int oldSize = real.size();
    const int newSize = text.size();
    const int shorter = qMin(oldSize, newSize);
    int prefix = 0;
    while (prefix < shorter && real[prefix] == text[prefix])
        ++prefix;
    int suffix = 0;
    while (suffix < shorter && real[oldSize - 1 - suffix] == text[newSize - 1 - suffix])
        ++suffix;
    if (cursor >= 0 && cursor <= newSize)
        suffix = qMin(suffix, newSize - cursor);
    prefix = qMin(prefix, shorter - suffix);
    suffix = qMin(suffix, shorter - prefix);

    QBitArray now(newSize);
    for (int i = 0; i < prefix; ++i)
        now.setBit(i, hidden.testBit(i));
    for (int i = 1; i <= suffix; ++i)
        now.setBit(newSize - i, hidden.testBit(oldSize - i));

    // Matches follow each other: the scan goes on after each whole match
    // (after one character, should the expression match an empty text).
    int at = 0;
    while ((at = regExp.indexIn(text, at)) != -1) {
        at += qMax(regExp.matchedLength(), 1);
        if (regExp.pos(1) >= 0)
            now.fill(true, regExp.pos(1), regExp.pos(1) + regExp.cap(1).size());
    }
    if (finder) {
        for (const QPair<int, int>& span : finder(text)) {
            const int start = qBound(0, span.first, newSize);
            const int end = qBound(start, span.second, newSize);
            now.fill(true, start, end);
        }
    }

    QString copy = text;
    for (int i = 0; i < newSize; ++i) {
        if (now.testBit(i))
            copy[i] = mask;
    }
    real = text;
    hidden = now;
    lastShown = copy;
    lastMask = mask;
    return copy;
}
