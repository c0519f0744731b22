// The record of one repository section of yum's configuration, and the way
// yum reads the value of a boolean option.
#pragma once

#include <QString>
#include <QStringList>

namespace Repo
{

// yum's own reading of a boolean option: "0", "no", "false" and "off", in
// any case and with blanks around them, are false; every other text is true.
bool yumBoolean(const QString& value);

class Entry
{
public:
    // Values of `enabled` and `gpgcheck`; the numbers are also the indexes
    // of the editor's combo boxes.
    enum TriState { No = 0, Default = 1, Yes = 2 };

    // The tri-state a present key's value gives.
    static TriState fromYumBoolean(const QString& value);

    // Exactly as written between the brackets, blanks included: it is also
    // the key of the session flags.
    QString id;
    QString name;
    // One URL per line.
    QString baseurl;
    // The lines of `baseurl` as read, so that a write keeps a file's own
    // indentation: for each line break of `baseurl` in turn, the
    // continuation line it came from, blanks and tabs first, then the URL.
    // Empty when no URL was read from a continuation line. A write indents
    // a URL as the line it was read from, else, while there are as many
    // URLs as were read (new credentials), as the line in its place; other
    // URLs, and one that shared a line with another, by eight blanks.
    QStringList urlLines;
    QString mirrorlist;
    TriState enabled = Default;
    TriState gpgcheck = Default;
    // Every other non-empty line of the section, each followed by "\n".
    QString other;
    // Empty means the identifier plus ".repo" in the first repository
    // directory; a relative path goes into that directory too.
    QString file;
    // Order within the file; reading numbers the sections 1.0, 2.0, ...
    double sortPosition = 0.0;
};

}
