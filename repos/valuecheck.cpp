// The values dnf would read otherwise than they are shown. Its parser of
// repository files, as measured on the dnf installed here:
// - a line whose first character other than blanks and tabs is "[" begins a
//   section, also when it is indented; a header whose identifier holds "["
//   or "]" fails the whole file, as does "[" without "]";
// - a line that begins with a blank or a tab continues the option above it;
//   after a comment or an empty line, or before any option of the section,
//   it fails the whole file;
// - any other line is a comment ("#" or ";") or "key=value" with a key;
//   without "=" or without a key it fails the whole file;
// - a line of blanks alone changes nothing: a continuation may follow it
//   (this program's reader joins it to the line above);
// - a key set twice takes the later value;
// - an identifier outside the characters below, and a section "main" in any
//   file, are skipped.
#include "repos/valuecheck.h"

#include <QStringRef>

#include "repos/entry.h"

namespace Repo
{

namespace
{

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// The lines after the first, numbered from 2: the first stands after its key
// on the key's own line, where no text can do harm.
template <typename Visit>
void forEachFurtherLine(const QString& value, Visit visit)
{
    int start = value.indexOf(QLatin1Char('\n'));
    int number = 1;
    while (start >= 0) {
        const int begin = start + 1;
        const int end = value.indexOf(QLatin1Char('\n'), begin);
        visit(++number, value.midRef(begin, (end < 0 ? value.size() : end) - begin));
        start = end;
    }
}

template <typename Visit>
void forEachLine(const QString& value, Visit visit)
{
    int begin = 0;
    int number = 0;
    while (begin <= value.size()) {
        int end = value.indexOf(QLatin1Char('\n'), begin);
        if (end < 0)
            end = value.size();
        // The text ends with its last line's newline, or with no line at all.
        if (begin == value.size() && begin > 0)
            break;
        visit(++number, value.midRef(begin, end - begin));
        begin = end + 1;
    }
}

QStringRef withoutLeadingBlanks(const QStringRef& line)
{
    int i = 0;
    while (i < line.size() && isBlank(line.at(i)))
        ++i;
    return line.mid(i);
}

bool beginsSection(const QStringRef& line)
{
    return withoutLeadingBlanks(line).startsWith(QLatin1Char('['));
}

QString keyOf(ValueCheck::Field field, const QStringRef& text)
{
    return QString::number(int(field)) + QLatin1Char(':') + text.toString();
}

// The options the form has fields for; set again among the other lines they
// would override the field for dnf, and for this program's next read.
bool isFieldKey(const QStringRef& key)
{
    for (const char* own : {"name", "baseurl", "mirrorlist", "enabled", "gpgcheck"}) {
        if (key == QLatin1String(own))
            return true;
    }
    return false;
}

QStringRef trimmedBlanks(const QStringRef& text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

void checkOneLine(QList<ValueCheck::Problem>& problems, ValueCheck::Field field,
                  const QString& label, const QString& value)
{
    forEachFurtherLine(value, [&](int number, const QStringRef& line) {
        if (line.isEmpty() || !isBlank(line.at(0))) {
            // Never read so: a line that does not begin with a blank is a
            // line of its own.
            problems.append({field, ValueCheck::tr("%1 has a line break").arg(label),
                             keyOf(field, line)});
        } else if (beginsSection(line)) {
            problems.append({field,
                             ValueCheck::tr("%1 line %2 would begin a repository of its own")
                                 .arg(label)
                                 .arg(number),
                             keyOf(field, withoutLeadingBlanks(line))});
        }
    });
}

void checkUrls(QList<ValueCheck::Problem>& problems, const QString& value)
{
    // Each further URL goes on an indented line of its own.
    forEachFurtherLine(value, [&](int number, const QStringRef& line) {
        if (beginsSection(line)) {
            problems.append({ValueCheck::Urls,
                             ValueCheck::tr("URLs line %1 would begin a repository of its own")
                                 .arg(number),
                             keyOf(ValueCheck::Urls, withoutLeadingBlanks(line))});
        }
    });
}

void checkOther(QList<ValueCheck::Problem>& problems, const QString& value)
{
    const ValueCheck::Field field = ValueCheck::Other;
    // Whether a line beginning with a blank continues an option of these
    // lines; the lines above them are the form's own options.
    bool inOption = false;
    bool started = false;
    forEachLine(value, [&](int number, const QStringRef& line) {
        auto problem = [&](const QString& text) {
            problems.append({field, text, keyOf(field, line)});
        };
        if (line.isEmpty()) {
            inOption = false;
            return;
        }
        const QStringRef content = withoutLeadingBlanks(line);
        if (isBlank(line.at(0))) {
            if (content.startsWith(QLatin1Char('['))) {
                problem(ValueCheck::tr("Other Options line %1 would begin a repository of its own")
                            .arg(number));
            } else if (!started || (!inOption && !content.isEmpty())) {
                // Blanks alone continue an option too, for this program's
                // reader, and must not reach the form's options above.
                problem(ValueCheck::tr("Other Options line %1 begins with a blank but continues "
                                       "no option")
                            .arg(number));
            }
            return;
        }
        started = true;
        if (line.at(0) == QLatin1Char('#') || line.at(0) == QLatin1Char(';')) {
            inOption = false;
            return;
        }
        if (line.at(0) == QLatin1Char('[')) {
            problem(ValueCheck::tr("Other Options line %1 would begin a repository of its own")
                        .arg(number));
            return;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        const QStringRef key = equals < 0 ? QStringRef() : trimmedBlanks(line.left(equals));
        if (key.isEmpty()) {
            problem(ValueCheck::tr("Other Options line %1 is neither an option (key=value) nor a "
                                   "comment")
                        .arg(number));
            return;
        }
        // This program's reader ends a key at ":" as well.
        int separator = 0;
        while (separator < line.size() && line.at(separator) != QLatin1Char(':')
               && line.at(separator) != QLatin1Char('='))
            ++separator;
        const QStringRef readKey = trimmedBlanks(line.left(separator));
        if (isFieldKey(key) || isFieldKey(readKey)) {
            problem(ValueCheck::tr("Other Options line %1 sets %2, which has a field of its own")
                        .arg(number)
                        .arg((isFieldKey(key) ? key : readKey).toString()));
            return;
        }
        inOption = true;
    });
}

}

bool ValueCheck::validIdentifier(const QString& id)
{
    if (id == QLatin1String("main"))
        return false;
    for (const QChar c : id) {
        const ushort u = c.unicode();
        const bool letter = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
        const bool digit = u >= '0' && u <= '9';
        if (!letter && !digit && u != '-' && u != '_' && u != '.' && u != ':')
            return false;
    }
    return true;
}

QList<ValueCheck::Problem> ValueCheck::problems(const Entry& entry)
{
    QList<Problem> found;
    if (!entry.id.isEmpty() && !validIdentifier(entry.id)) {
        const QString text =
            entry.id == QLatin1String("main")
                ? tr("Identifier main names the main section, not a repository")
                : tr("Identifier may hold only ASCII letters, digits and \"-_.:\"");
        found.append({Identifier, text, keyOf(Identifier, QStringRef(&entry.id))});
    }
    checkOneLine(found, Name, tr("Name"), entry.name);
    checkUrls(found, entry.baseurl);
    checkOneLine(found, MirrorList, tr("Mirror list URL"), entry.mirrorlist);
    checkOther(found, entry.other);
    return found;
}

}
