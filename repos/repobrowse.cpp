// Repository browsing: the URL yum would start from, handed to the share
// directory's "webbrowser" script, started detached.
#include "repos/repobrowse.h"

#include <QByteArray>
#include <QFile>
#include <QMessageBox>
#include <QObject>
#include <QRegExp>
#include <QStringList>

#include "engine/yumio.h"
#include "foundation/execute.h"
#include "foundation/share.h"
#include "repos/entry.h"
#include "repos/repoeditor/filetext.h"
#include "repos/yumconfio.h"

QString RepoBrowse::url(const Repo::Entry& entry, YumIO* yumIO)
{
    // The first base URL, leading white space passed over; base URLs of
    // white space alone count as none.
    const QStringList parts = entry.baseurl.split(QRegExp(QStringLiteral("\\s+")),
                                                  Qt::SkipEmptyParts);
    QString url = parts.isEmpty() ? entry.mirrorlist.trimmed() : parts.first();
    if (!yumIO)
        return url;

    // The engine takes the lock for each variable itself, and only when it
    // may: while a worker runs, the worker can hold the lock and wait for
    // this thread, and taking the lock here first would hang the program.
    // The engine cannot answer then, and the variable stays as written.
    // A URL without a variable needs no interpreter at all.
    const bool bytes = RepoEditor::FileText::holdsBytes(url);
    static const char* const variables[] = {"basearch", "arch", "releasever"};
    for (const char* variable : variables) {
        const QString name = QLatin1Char('$') + QLatin1String(variable);
        if (!url.contains(name))
            continue;
        const QString value = yumIO->getYumVar(QLatin1String(variable));
        if (value.isNull())
            continue;
        // The engine's value is text; in a URL of bytes it goes as UTF-8.
        url.replace(name, bytes ? RepoEditor::FileText::stored(value) : value);
    }
    return url;
}

void RepoBrowse::browse(QWidget* parent, const Repo::Entry& entry, YumIO* yumIO)
{
    const QString address = url(entry, yumIO);
    if (address.isEmpty()) {
        QMessageBox::critical(parent, QObject::tr("Error"),
                              QObject::tr("Repository configuration has no URL"),
                              QMessageBox::Ok);
        return;
    }
    // The browser gets the bytes the file holds, so a UTF-8 address arrives
    // unchanged (encoding its characters again would mangle it). A typed
    // address that no bytes can hold goes as UTF-8, as a browser reads its
    // command line, rather than with "?" for those characters.
    QByteArray program = QFile::encodeName(Share::absolute(QStringLiteral("webbrowser")));
    QByteArray argument = RepoEditor::FileText::holdsBytes(address) ? address.toLatin1()
                                                                     : address.toUtf8();
    char* const argv[] = {program.data(), argument.data(), nullptr};
    Execute::execute(parent, argv);
}

void RepoBrowse::browse(QWidget* parent, QString id, YumIO* yumIO, YumConfIO* conf)
{
    if (conf) {
        for (const Repo::Entry& entry : conf->entries) {
            if (entry.id == id) {
                browse(parent, entry, yumIO);
                return;
            }
        }
    }
    QMessageBox::critical(parent, QObject::tr("Error"),
                          QObject::tr("No configured repository has the identifier \"%1\".")
                              .arg(id),
                          QMessageBox::Ok);
}
