// The texts of a repository entry as the files hold them and as the user
// reads and types them. An entry read from yum's files holds each byte as
// the character of that code; the bytes of a text typed in the editor are
// its UTF-8, which dnf reads (it refuses other bytes).
#pragma once

#include <QString>

#include "repos/entry.h"

namespace RepoEditor
{

class FileText
{
public:
    // Whether every character of the text stands for one byte, as in a text
    // read from yum's files; a character beyond U+00FF was typed and never
    // saved.
    static bool holdsBytes(const QString& text);
    // The bytes decoded as UTF-8 where they are UTF-8; otherwise (a Latin-1
    // file, a text that is no bytes) unchanged.
    static QString shown(const QString& bytes);
    // The UTF-8 bytes of a text, one character per byte.
    static QString stored(const QString& text);

    // The entry with its identifier, name, URLs and other lines shown.
    static Repo::Entry shownEntry(const Repo::Entry& stored);
    // The edited entry in stored form. A field the user left as it was shown
    // keeps the bytes it had, so a file that is not UTF-8 keeps them.
    static Repo::Entry storedEntry(const Repo::Entry& edited, const Repo::Entry& before);

    FileText() = delete;
};

}
