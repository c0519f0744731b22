// The repository editor on a configuration root of its own: the sorted
// table and its check marks, the status line, Remove, Apply, Reset All and
// Cancel with the session flags, the write's guarantees through Apply, and
// an opening whose read fails.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QComboBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTest>
#include <QThread>

#include "foundation/colors.h"
#include "foundation/passwdtextedit.h"
#include "repos/kivrel.h"
#include "repos/repoeditor/configdialog.h"
#include "repos/repoeditor/filetext.h"
#include "repos/repoeditor/dialog.h"
#include "repos/repoeditor/model.h"
#include "repos/repoeditor/view.h"
#include "tests/repos/conftree.h"

namespace RepoEditor
{

class DialogTestAccess
{
public:
    static View* view(Dialog& d) { return d.view; }
    static QLabel* status(Dialog& d) { return d.status; }
};

}

using RepoEditor::DialogTestAccess;
using RepoEditor::Model;

namespace
{

// Records the mode of every temporary while its content is written and
// flushed, the moments a crash would leave it behind.
class WatchedFileSystem : public SafeFileWriter::FileSystem
{
public:
    int writeAll(int fd, const QByteArray& bytes) override
    {
        note(fd);
        return FileSystem::writeAll(fd, bytes);
    }
    int sync(int fd) override
    {
        note(fd);
        return FileSystem::sync(fd);
    }

    // Temporary name, mode.
    QList<QPair<QString, mode_t>> modes;

private:
    void note(int fd)
    {
        struct stat info;
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
            modes.append({QFileInfo(QString("/proc/self/fd/%1").arg(fd)).symLinkTarget(),
                          info.st_mode & 0777});
    }
};

}

class RepoEditorTest : public ConfIOTest
{
protected:
    void SetUp() override
    {
        dialog = std::make_unique<RepoEditor::Dialog>(nullptr, &conf, nullptr);
        spy = std::make_unique<QSignalSpy>(dialog.get(), &RepoEditor::Dialog::reposChanged);
    }

    RepoEditor::View* view() { return DialogTestAccess::view(*dialog); }
    QSortFilterProxyModel* proxy() { return view()->sortProxy(); }
    QLabel* status() { return DialogTestAccess::status(*dialog); }

    // The identifiers in the order the table shows them.
    QStringList shownIds()
    {
        QStringList result;
        for (int row = 0; row < proxy()->rowCount(); ++row)
            result << proxy()->index(row, Model::IdColumn).data().toString();
        return result;
    }

    QModelIndex cell(const QString& id, int column)
    {
        for (int row = 0; row < proxy()->rowCount(); ++row) {
            if (proxy()->index(row, Model::IdColumn).data().toString() == id)
                return proxy()->index(row, column);
        }
        ADD_FAILURE() << "no row " << id.toStdString();
        return QModelIndex();
    }

    void click(const QString& id, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QModelIndex ix = cell(id, column);
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, modifiers,
                          view()->visualRect(ix).center());
    }

    QPushButton* button(const QString& text)
    {
        for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
            if (b->text() == text)
                return b;
        }
        ADD_FAILURE() << "no button " << text.toStdString();
        return nullptr;
    }

    QColor statusColor() { return status()->palette().color(QPalette::WindowText); }

    // Fills the form as soon as it shows, then presses its OK.
    void whenFormShows(std::function<void(QWidget* form)> fill)
    {
        QTimer::singleShot(0, [this, fill] {
            auto* form = qobject_cast<RepoEditor::ConfigDialog*>(QApplication::activeModalWidget());
            if (!form) {
                ADD_FAILURE() << "the form did not show";
                return;
            }
            fill(form);
            for (QPushButton* b : form->findChildren<QPushButton*>()) {
                if (b->text() == "OK")
                    b->click();
            }
        });
    }

    // Typed as an input method commits text, so any language's characters
    // arrive as the user's edit.
    static void type(QWidget* form, const char* field, const QString& text)
    {
        auto* edit = form->findChild<QLineEdit*>(field);
        ASSERT_NE(edit, nullptr) << field;
        edit->setFocus();
        edit->selectAll();
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(edit, &event);
    }

    std::unique_ptr<RepoEditor::Dialog> dialog;
    std::unique_ptr<QSignalSpy> spy;
};

TEST_F(RepoEditorTest, TheTableSortsByIdentifierAndItsClicksChangeOnlyMemoryUntilApplied)
{
    tree.write("etc/yum.conf", "[main]\nenabled=0\n");
    tree.write("etc/yum.repos.d/a.repo", "[zeta]\nname=Last\nenabled=1\n\n[alpha]\nname=First\n\n"
                                         "[mid]\nname=Caf\xc3\xa9\nenabled=0\n");
    const QMap<QString, QString> before = tree.snapshot();
    dialog->show();
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(shownIds(), (QStringList{"alpha", "mid", "zeta"}));
    // UTF-8 in the file reads as its characters.
    EXPECT_EQ(cell("mid", Model::NameColumn).data().toString(), QString::fromUtf8("Caf\xc3\xa9"));

    // No enabled option under a [main] default of 0: off; a click makes it
    // explicitly on, a second explicitly off. The session flag is apart.
    EXPECT_EQ(cell("alpha", Model::EnabledColumn).data(Qt::ToolTipRole).toString(),
              "Repository is not configured to be enabled");
    click("alpha", Model::EnabledColumn);
    EXPECT_EQ(entry("alpha")->enabled, Repo::Entry::Yes);
    EXPECT_EQ(cell("alpha", Model::EnabledColumn).data(Qt::ToolTipRole).toString(),
              "Repository is configured to be enabled");
    click("alpha", Model::EnabledColumn);
    EXPECT_EQ(entry("alpha")->enabled, Repo::Entry::No);
    EXPECT_FALSE(used["alpha"]);
    EXPECT_TRUE(button("Apply")->isEnabled());
    EXPECT_EQ(status()->text(), "Unapplied Configuration Changes");
    EXPECT_EQ(statusColor(), QColor(Colors::ok()));
    click("zeta", Model::UseColumn);
    click("alpha", Model::UseColumn);
    EXPECT_FALSE(used["zeta"]);
    EXPECT_TRUE(used["alpha"]);

    // Sorted by Name, the rows still report the entries' own places.
    QTest::mouseClick(view()->horizontalHeader()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(view()->horizontalHeader()->sectionViewportPosition(Model::NameColumn) + 5, 5));
    EXPECT_EQ(shownIds(), (QStringList{"mid", "alpha", "zeta"}));
    click("mid", Model::NameColumn);
    EXPECT_EQ(view()->currentRow(), 2);
    EXPECT_TRUE(button("Edit")->isEnabled());

    // Cancel: the files as they were, the flags as at opening, no report.
    button("Cancel")->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(tree.snapshot(), before);
    EXPECT_TRUE(used["zeta"]);
    EXPECT_FALSE(used["alpha"]);
    EXPECT_EQ(entry("alpha")->enabled, Repo::Entry::Default);
    EXPECT_EQ(spy->count(), 0);

    // The next opening sorts by identifier again; a toggled flag kept by
    // closing the window reports the change.
    dialog->show();
    EXPECT_EQ(shownIds(), (QStringList{"alpha", "mid", "zeta"}));
    click("mid", Model::UseColumn);
    dialog->reject();
    EXPECT_TRUE(used["mid"]);
    EXPECT_EQ(spy->count(), 1);
}

TEST_F(RepoEditorTest, TheStatusNamesAMissingIdentifierFirstAndRemoveTakesTheSelectedRows)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[dup]\n\n[]\n\n[x]\n\n[y]\n\n[z]\n");
    tree.write("etc/yum.repos.d/b.repo", "[dup]\nname=again\n");
    dialog->show();
    EXPECT_EQ(shownIds(), (QStringList{"(new)", "dup", "dup", "x", "y", "z"}));
    EXPECT_TRUE(cell("(new)", Model::IdColumn).data(Qt::FontRole).value<QFont>().italic());
    EXPECT_EQ(status()->text(), "A repository has no Identifier");
    EXPECT_EQ(statusColor(), QColor(Colors::error()));
    EXPECT_FALSE(button("Apply")->isEnabled());

    // Three rows, one of them through two of its cells.
    click("(new)", Model::IdColumn);
    click("x", Model::NameColumn, Qt::ControlModifier);
    click("(new)", Model::NameColumn, Qt::ControlModifier);
    click("z", Model::IdColumn, Qt::ControlModifier);
    button("Remove")->click();
    EXPECT_EQ(ids(), (QStringList{"dup", "y", "dup"}));
    EXPECT_EQ(view()->currentRow(), -1);
    EXPECT_FALSE(button("Edit")->isEnabled());
    EXPECT_EQ(status()->text(), "Two or more repositories have the Identifier, dup");
    EXPECT_EQ(statusColor(), QColor(Colors::error()));

    button("Reset All")->click();
    EXPECT_EQ(ids().size(), 6);
    EXPECT_EQ(status()->text(), "A repository has no Identifier");
    click("y", Model::IdColumn);
    button("Remove")->click();
    click("(new)", Model::IdColumn);
    button("Remove")->click();
    click("dup", Model::IdColumn);
    button("Remove")->click();
    EXPECT_EQ(status()->text(), "Unapplied Configuration Changes");
    button("Reset All")->click();
    EXPECT_EQ(ids().size(), 6);
    EXPECT_EQ(status()->text(), "A repository has no Identifier");
}

// Every write goes through the store: a linked folder and a linked file stay
// links, a file that holds a password ends up private, and no temporary is
// ever readable by others while its content is in it. After Apply the same
// repository is current; Cancel then keeps what was applied.
TEST_F(RepoEditorTest, ApplyKeepsLinksAndPrivacyAndCancelKeepsWhatWasApplied)
{
    const mode_t umask = ::umask(0);
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/real.repo", "[linked]\nname=Through a link\n");
    tree.write("etc/yum.repos.d/secret.repo", "[s]\nbaseurl=http://h/kivrel?u=a&p=b&path=r\n");
    ::chmod(QFile::encodeName(tree.path("etc/yum.repos.d/secret.repo")), 0644);
    ASSERT_EQ(::symlink("real.repo", QFile::encodeName(tree.path("etc/yum.repos.d/link.repo"))), 0);
    QDir(tree.path("etc/yum/repos.d")).removeRecursively();
    ASSERT_EQ(::symlink("../yum.repos.d", QFile::encodeName(tree.path("etc/yum/repos.d"))), 0);
    WatchedFileSystem fileSystem;
    conf.setFileSystem(&fileSystem);
    // As the credential check before it, which seeds the session flags.
    ASSERT_TRUE(conf.read(nullptr));

    dialog->show();
    EXPECT_EQ(shownIds(), (QStringList{"linked", "s"}));
    click("s", Model::UseColumn);
    click("linked", Model::EnabledColumn);
    click("s", Model::EnabledColumn);
    click("s", Model::IdColumn);
    button("Apply")->click();
    EXPECT_EQ(entry("s")->enabled, Repo::Entry::No);
    ASSERT_NE(view()->currentRow(), -1);
    EXPECT_EQ(conf.entries.at(view()->currentRow()).id, "s");
    EXPECT_FALSE(button("Apply")->isEnabled());
    EXPECT_EQ(status()->text(), "");

    EXPECT_EQ(tree.read("etc/yum.repos.d/real.repo"), "[linked]\nname=Through a link\nenabled=0\n");
    EXPECT_TRUE(QFileInfo(tree.path("etc/yum.repos.d/link.repo")).isSymLink());
    EXPECT_TRUE(QFileInfo(tree.path("etc/yum/repos.d")).isSymLink());
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(tree.path("etc/yum.repos.d/secret.repo")), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_FALSE(fileSystem.modes.isEmpty());
    for (const auto& temporary : fileSystem.modes)
        EXPECT_EQ(temporary.second & 077, 0u) << temporary.first.toStdString();
    EXPECT_EQ(QDir(tree.path("etc/yum.repos.d")).entryList(QDir::Hidden | QDir::Files).size(), 3);

    // Cancel restores the flags of the opening, not the files.
    button("Cancel")->click();
    EXPECT_TRUE(used["s"]);
    EXPECT_EQ(tree.read("etc/yum.repos.d/real.repo"), "[linked]\nname=Through a link\nenabled=0\n");
    EXPECT_EQ(spy->count(), 1);
    ::umask(umask);
}

// A read that fails shows its box and the opening returns at once: no modal
// loop is left running for a dialog nobody sees.
TEST_F(RepoEditorTest, AnOpeningWhoseReadFailsReturnsAtOnce)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[broken\n");
    BoxWatcher boxes;
    bool stuck = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        stuck = true;
        dialog->reject();
    });
    const int level = QThread::currentThread()->loopLevel();

    for (bool forced : {false, true}) {
        dialog->forceReposChanged = forced;
        watchdog.start(3000);
        EXPECT_EQ(dialog->exec(), QDialog::Rejected);
        watchdog.stop();
        EXPECT_FALSE(stuck);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(QThread::currentThread()->loopLevel(), level);
    }
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_TRUE(boxes.boxes[0].text.startsWith("Malformed section name in line: [broken"));
    // Only the forced opening reports, so the start with the editor goes on.
    EXPECT_EQ(spy->count(), 1);

    // Mended, the next opening shows; OK without changes closes.
    tree.write("etc/yum.repos.d/a.repo", "[fine]\n");
    QTimer::singleShot(0, [&] { button("OK")->click(); });
    EXPECT_EQ(dialog->exec(), QDialog::Accepted);
    EXPECT_EQ(shownIds(), QStringList{"fine"});
    EXPECT_EQ(spy->count(), 2);
}

// The form's edits reach the entries and, through Apply, the files: a name
// and credentials typed in any language, stored as UTF-8 and encoded; a new
// repository in a new file, private as it holds a password; a copy under
// the same identifier flagged, then removed; a position beyond a hundred
// kept; an addition that was not applied gone with its session flag.
TEST_F(RepoEditorTest, FormEditsReachTheFilesEncodedAndPrivate)
{
    QByteArray many;
    for (int i = 1; i <= 150; ++i)
        many += "[s" + QByteArray::number(i) + "]\n\n";
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", many);
    tree.write("etc/yum.repos.d/remote.repo",
               "[remote]\nname=Remote\nbaseurl=http://h/kivrel?user=&password=&path=r\n");
    // A write that fails says so in a box.
    BoxWatcher boxes;
    dialog->show();
    const QString name = QString::fromUtf8("Entfernt \xe2\x80\x93 \xe6\x97\xa5\xe6\x9c\xac");
    const QString user = QString::fromUtf8("us\xc3\xa9r");
    const QString password = QString::fromUtf8("\xd0\xbf\xd0\xb0\xd1\x80&\xe5\xaf\x86");

    whenFormShows([&](QWidget* form) {
        form->findChild<QLineEdit*>("name")->setText(name);
        type(form, "authName", user);
        type(form, "authPassword", password);
    });
    const QModelIndex remote = cell("remote", Model::NameColumn);
    view()->scrollTo(remote);
    const QPoint at = view()->visualRect(remote).center();
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(cell("remote", Model::NameColumn).data().toString(), name);
    EXPECT_EQ(status()->text(), "Unapplied Configuration Changes");

    whenFormShows([](QWidget* form) { form->findChild<QLineEdit*>("name")->setText("last"); });
    view()->setCurrentRow(149);
    button("Edit")->click();
    EXPECT_EQ(conf.entries.at(149).sortPosition, 150.0);

    whenFormShows([](QWidget* form) {
        form->findChild<QLineEdit*>("identifier")->setText("added");
        form->findChild<PasswdTextEdit*>("urls")->setRealPlainText(
            "http://h/kivrel?user=u&password=secret&path=a");
        form->findChild<QLineEdit*>("file")->setText("added.repo");
        form->findChild<QComboBox*>("enabled")->setCurrentIndex(Repo::Entry::No);
    });
    button("Add")->click();
    ASSERT_EQ(view()->currentRow(), 151);
    EXPECT_EQ(conf.entries.at(151).id, "added");
    EXPECT_FALSE(used.value("added", true));

    whenFormShows([](QWidget* form) { form->findChild<QLineEdit*>("name")->setText("copy"); });
    button("Copy")->click();
    EXPECT_EQ(status()->text(), "Two or more repositories have the Identifier, added");
    ASSERT_EQ(conf.entries.last().name, "copy");
    button("Remove")->click();
    EXPECT_EQ(status()->text(), "Unapplied Configuration Changes");

    button("Apply")->click();
    EXPECT_EQ(boxes.boxes.size(), 0);
    EXPECT_EQ(status()->text(), "");
    const QByteArray remoteFile = tree.read("etc/yum.repos.d/remote.repo");
    EXPECT_TRUE(remoteFile.contains("\nname=" + name.toUtf8() + "\n")) << remoteFile.toStdString();
    EXPECT_TRUE(remoteFile.contains("kivrel?user=us%c3%a9r&password=%d0%bf%d0%b0%d1%80%26%e5%af%86&"))
        << remoteFile.toStdString();
    EXPECT_TRUE(tree.read("etc/yum.repos.d/a.repo").endsWith("[s149]\n\n[s150]\nname=last\n"));
    EXPECT_EQ(tree.read("etc/yum.repos.d/added.repo"),
              "[added]\nbaseurl=http://h/kivrel?user=u&password=secret&path=a\nenabled=0\n");
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(tree.path("etc/yum.repos.d/added.repo")), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Read back as the editor reads it.
    ASSERT_TRUE(conf.read(nullptr));
    EXPECT_EQ(RepoEditor::FileText::shown(entry("remote")->name), name);
    QString key1, value1, key2, value2;
    ASSERT_TRUE(Repo::Kivrel::getAuth(*entry("remote"), key1, value1, key2, value2));
    EXPECT_EQ(value1, user);
    EXPECT_EQ(value2, password);

    // An addition not applied goes with Cancel, and so does its flag.
    dialog->show();
    whenFormShows([](QWidget* form) { form->findChild<QLineEdit*>("identifier")->setText("temp"); });
    button("Add")->click();
    EXPECT_TRUE(used.contains("temp"));
    button("Cancel")->click();
    EXPECT_FALSE(ids().contains("temp"));
    EXPECT_FALSE(used.contains("temp"));
}
