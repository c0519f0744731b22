// Package entries and their owning list.
#include "engine/package.h"

#include <cstdio>
#include <utility>

#include "engine/python.h"

namespace Package
{

bool Entry::seen = false;

Entry::Entry(QString name, QString verRel, QString repo, QString arch, quint64 size,
             QString sizeText, QString summary, long buildTime, QString buildTimeText,
             PyObject* po)
    : name(std::move(name)),
      verRel(std::move(verRel)),
      repo(std::move(repo)),
      arch(std::move(arch)),
      size(size),
      sizeText(std::move(sizeText)),
      summary(std::move(summary)),
      buildTime(buildTime),
      buildTimeText(std::move(buildTimeText)),
      po(po)
{
    Py_XINCREF(po);
}

Entry::~Entry()
{
    if (po && !seen) {
        seen = true;
        std::fprintf(stderr, "Internal error: attempt to delete Package::Entry %p with extant python obj %p\n",
                     static_cast<void*>(this), static_cast<void*>(po));
    }
    // Walked rather than recursed, so that a long chain costs no stack.
    Entry* rest = next;
    next = nullptr;
    while (rest) {
        Entry* following = rest->next;
        rest->next = nullptr;
        delete rest;
        rest = following;
    }
}

void Entry::releasePo()
{
    Py_CLEAR(po);
}

void Entry::dropPo()
{
    po = nullptr;
}

Entry* Entry::last()
{
    Entry* entry = this;
    while (entry->next)
        entry = entry->next;
    return entry;
}

EntryList::~EntryList()
{
    deleteAll();
}

void EntryList::deleteAll()
{
    for (Entry* entry : std::as_const(*this))
        delete entry;
    clear();
}

}
