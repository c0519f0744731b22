// Opening a repository's address in the external web browser of the share
// directory.
#pragma once

#include <QString>

class QWidget;
class YumConfIO;
class YumIO;

namespace Repo
{
class Entry;
}

class RepoBrowse
{
public:
    // Opens the entry's first base URL, else its mirror list URL, with yum's
    // variables filled in; an entry with neither is reported in a box on
    // parent. The engine is asked for the variables the URL holds; while one
    // of its workers runs it cannot answer, and they stay as written.
    static void browse(QWidget* parent, const Repo::Entry& entry, YumIO* yumIO);
    // The same for the first configured section with this identifier; an
    // identifier no section carries is reported in a box on parent.
    static void browse(QWidget* parent, QString id, YumIO* yumIO, YumConfIO* conf);

    // The address browse() opens: the URL chosen and its variables filled
    // in, in the entry's own form (a file's bytes one per character, the
    // values as UTF-8 among them); empty when the entry has no URL.
    static QString url(const Repo::Entry& entry, YumIO* yumIO);

    RepoBrowse() = delete;
};
