// Repository browsing: the URL yum would start from, handed to the share
// directory's "webbrowser" script, started detached.
#include "repos/repobrowse.h"

#include <QByteArray>
#include <QFile>
#include <QMessageBox>
#include <QObject>
#include <QRegExp>
#include <QStringList>

#include "engine/python.h"
#include "engine/yumio.h"
#include "foundation/execute.h"
#include "foundation/share.h"
#include "repos/entry.h"
#include "repos/yumconfio.h"

QString RepoBrowse::url(const Repo::Entry& entry, YumIO* yumIO)
{
    // The first base URL, leading white space passed over; base URLs of
    // white space alone count as none.
    const QStringList parts = entry.baseurl.split(QRegExp(QStringLiteral("\\s+")),
                                                  Qt::SkipEmptyParts);
    QString url = parts.isEmpty() ? entry.mirrorlist.trimmed() : parts.first();
    if (url.isEmpty() || !yumIO)
        return url;

    // One lock for the three variables, so they come from one state of the
    // engine's configuration.
    Python::PyGILStateWrapper guard(true);
    url.replace(QLatin1String("$basearch"), yumIO->getYumVar(QStringLiteral("basearch")));
    url.replace(QLatin1String("$arch"), yumIO->getYumVar(QStringLiteral("arch")));
    url.replace(QLatin1String("$releasever"), yumIO->getYumVar(QStringLiteral("releasever")));
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
    // UTF-8, as a browser reads its command line; Latin-1 would turn every
    // other character into "?" and open another address.
    QByteArray program = QFile::encodeName(Share::absolute(QStringLiteral("webbrowser")));
    QByteArray argument = address.toUtf8();
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
