// Which values of a repository section dnf would read back otherwise than
// this program shows them once they are written: as the start of another
// repository, as other options, or as a reason to skip the repository or its
// whole file. The repository form shows these as errors and the writer
// refuses them, so both follow this one rule; both let through, as a warning
// in the form, a value the file already held (YumConfIO::holdsProblem()).
#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>

namespace Repo
{

class Entry;

class ValueCheck
{
    Q_DECLARE_TR_FUNCTIONS(ValueCheck)

public:
    // In the order of the form's fields.
    enum Field { Identifier, Name, Urls, MirrorList, Other };

    struct Problem
    {
        Field field;
        // For the user: names the field and the line, never quotes the
        // value, which may hold a password.
        QString text;
        // The field and the text of the line at fault, the identifier for
        // the identifier: the same problem found in a file that was read
        // gives the same key.
        QString key;
    };

    // Every problem of the entry's values, in field order. The texts may be
    // as the user reads them or as the file holds them (UTF-8 bytes as
    // Latin-1 characters): the rule looks at ASCII characters only. An empty
    // identifier is none of its business.
    static QList<Problem> problems(const Entry& entry);

    // dnf takes ASCII letters, digits and "-_.:" in an identifier (after
    // replacing variables, which this program shows unreplaced, so a "$" is
    // refused as well), and the section "main" never as a repository.
    static bool validIdentifier(const QString& id);

    ValueCheck() = delete;
};

}
