// What the two sources of the apply road share (yumioapply.cpp, the driver
// and the estimates; yumiotransaction.cpp, the listing, the confirmation
// and the dependency-solving callbacks): yum's seven transaction lists and
// the arithmetic of the estimates.
#pragma once

#include <algorithm>
#include <limits>

#include <QtGlobal>

#include "engine/yumio.h"

// yum's resolved transaction as makeLists reads it. Every list is held
// here, not borrowed: a yum whose lists are computed on each access would
// otherwise hand out lists that die at once.
struct YumIO::TransactionLists
{
    PyRef tsInfo;
    // What makelists() returned: the seven lists as a tuple in old yum,
    // nothing in later ones.
    PyRef made;
    PyRef updated;
    PyRef installed;
    PyRef removed;
    PyRef obsoleted;
    PyRef depupdated;
    PyRef depinstalled;
    PyRef depremoved;
};

// Byte and work estimates: every term is at least 10240, and sums and
// products stop at the largest value rather than wrap, so that a
// transaction of many gigabytes only ever makes an estimate larger.
namespace Estimate
{

const quint64 minimumTerm = 10240;

inline quint64 term(quint64 value)
{
    return std::max(value, minimumTerm);
}

inline quint64 sum(quint64 a, quint64 b)
{
    const quint64 largest = std::numeric_limits<quint64>::max();
    return a > largest - b ? largest : a + b;
}

inline quint64 times(quint64 value, quint64 factor)
{
    const quint64 largest = std::numeric_limits<quint64>::max();
    return factor != 0 && value > largest / factor ? largest : value * factor;
}

}
