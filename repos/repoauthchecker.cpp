// The credential check: which repositories are asked about, how one answer
// is reused for later repositories, and when the configuration is written.
#include "repos/repoauthchecker.h"

#include <optional>

#include <QHash>

#include "foundation/url.h"
#include "repos/entry.h"
#include "repos/kivrel.h"
#include "repos/repoauthdialog.h"
#include "repos/yumconfio.h"

namespace RepoAuth
{

namespace
{

void putAuth(Repo::Entry& entry, const Checker::Auth& auth)
{
    // Each text keeps its own key names.
    entry.baseurl = Repo::Kivrel::replaceAuth(entry.baseurl, auth.user, auth.password);
    entry.mirrorlist = Repo::Kivrel::replaceAuth(entry.mirrorlist, auth.user, auth.password);
}

}

Checker::Checker(QWidget* parent, YumConfIO* conf)
{
    QHash<QString, Auth> hostAuth;
    std::optional<Auth> allAuth;

    // A failed read has been reported; what was read is still checked, and
    // YumConfIO refuses to write it back.
    conf->read(parent);

    for (int i = 0; i < conf->entries.size(); ++i) {
        Repo::Entry& entry = conf->entries[i];
        if (!conf->used->value(entry.id, false))
            continue;
        QString key1, user, key2, password;
        if (!Repo::Kivrel::getAuth(entry, key1, user, key2, password))
            continue;
        // Only a segment left wholly empty is a request for credentials.
        if (!user.isEmpty() || !password.isEmpty())
            continue;

        if (!dialog)
            dialog = new Dialog(parent);

        QString host = URL::getHost(entry.baseurl);
        if (host.isEmpty())
            host = URL::getHost(entry.mirrorlist);

        if (allAuth) {
            putAuth(entry, *allAuth);
            continue;
        }
        const auto known = hostAuth.constFind(host);
        if (known != hostAuth.constEnd()) {
            putAuth(entry, *known);
            continue;
        }

        const int result = dialog->exec(&entry);
        if (result == Dialog::Quit) {
            quit = true;
            break;
        }
        if (result == Dialog::SkipAll)
            break;
        if (result == Dialog::Disable) {
            (*conf->used)[entry.id] = false;
            continue;
        }
        if (result == Dialog::OK || result == Dialog::ApplyAll || result == Dialog::ApplyHost) {
            QString newKey1, newUser, newKey2, newPassword;
            Repo::Kivrel::getAuth(entry, newKey1, newUser, newKey2, newPassword);
            if (newUser != user || newPassword != password)
                changed = true;
            if (result == Dialog::ApplyAll)
                allAuth = Auth{newUser, newPassword};
            else if (result == Dialog::ApplyHost)
                hostAuth.insert(host, Auth{newUser, newPassword});
        }
    }

    if (dialog)
        dialog->setVisible(false);
    allAuth.reset();

    // Also after Quit: credentials entered before it are kept.
    if (changed)
        conf->write(parent);
}

Checker::~Checker()
{
    delete dialog;
}

}
