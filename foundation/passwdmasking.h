// What a masked editor shows in place of its real text: every password part
// replaced by password characters, one for one, so that a position means
// the same character in both texts.
#pragma once

#include <functional>

#include <QBitArray>
#include <QChar>
#include <QPair>
#include <QRegExp>
#include <QString>
#include <QVector>

// The password parts are capture 1 of every match of the expression, what
// the finder (if any) reports, and every character that was hidden before
// and is still there. An edit that breaks a password's key, separator or URL
// leaves a text that no pattern takes for a password any more; the
// characters stay hidden all the same, until they are deleted.
class PasswdMasking
{
public:
    // Where the passwords of a text lie, as [start, end) pairs.
    using Finder = std::function<QVector<QPair<int, int>>(const QString& text)>;

    explicit PasswdMasking(const QRegExp& regExp);

    void setFinder(Finder finder);

    // The shown copy of real, an edit of the real text of the last call.
    // cursor is where the edit left the cursor, which tells which of several
    // equal characters it took away or put in; -1 for a text set whole.
    QString shown(const QString& real, int cursor, QChar mask);

private:
    QRegExp regExp;
    Finder finder;
    // The real text of the last call, which of its characters are hidden,
    // and the copy shown for it.
    QString real;
    QBitArray hidden;
    QString lastShown;
    QChar lastMask;
};
