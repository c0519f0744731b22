// The repository editor on a configuration root of its own: the sorted
// table and its check marks, the status line, Remove, Apply, Reset All and
// Cancel with the session flags, the write's guarantees through Apply, a
// position kept through the form, and an opening whose read fails.
#include <gtest/gtest.h>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include "common/repoeditordriver.h"
#include "foundation/colors.h"
#include "foundation/passwdtextedit.h"
#include "repos/repoeditor/dialog.h"
#include "repos/repoeditor/model.h"
#include "repos/repoeditor/view.h"
#include "tests/repos/conftree.h"

using RepoEditor::Model;
using RepoEditorDriving::whenFormShows;

namespace
{

// Notes the mode of every temporary while its content is written and
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

    QList<mode_t> modes;

private:
    void note(int fd)
    {
        struct stat info;
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
            modes.append(info.st_mode & 0777);
    }
};

mode_t modeOf(const QString& path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

}

class RepoEditorTest : public ConfIOTest
{
protected:
    void SetUp() override
    {
        dialog = std::make_unique<RepoEditor::Dialog>(nullptr, &conf, nullptr);
        spy = std::make_unique<QSignalSpy>(dialog.get(), &RepoEditor::Dialog::reposChanged);
    }

    QPushButton* button(const QString& text) { return RepoEditorDriving::button(dialog.get(), text); }
    // The status line, the only label of the dialog.
    QLabel* status() { return dialog->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly); }
    QColor statusColor() { return status()->palette().color(QPalette::WindowText); }

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
    RepoEditorDriving::Table table(dialog.get());
    EXPECT_EQ(table.ids(), (QStringList{"alpha", "mid", "zeta"}));
    EXPECT_EQ(table.cell("mid", Model::NameColumn).data().toString(), QString::fromUtf8("Caf\xc3\xa9"));

    // No enabled option under a [main] default of 0: off; a click makes it
    // explicitly on, a second explicitly off. The session flag is apart.
    EXPECT_EQ(table.toolTip("alpha", Model::EnabledColumn), "Repository is not configured to be enabled");
    table.click("alpha", Model::EnabledColumn);
    EXPECT_EQ(entry("alpha")->enabled, Repo::Entry::Yes);
    EXPECT_EQ(table.toolTip("alpha", Model::EnabledColumn), "Repository is configured to be enabled");
    table.click("alpha", Model::EnabledColumn);
    EXPECT_EQ(entry("alpha")->enabled, Repo::Entry::No);
    EXPECT_TRUE(button("Apply")->isEnabled());
    EXPECT_EQ(status()->text(), "Unapplied Configuration Changes");
    EXPECT_EQ(statusColor(), QColor(Colors::ok()));
    table.click("zeta", Model::UseColumn);
    table.click("alpha", Model::UseColumn);
    EXPECT_FALSE(used["zeta"]);
    EXPECT_TRUE(used["alpha"]);

    // Sorted by Name, a row still reports the entry's own place.
    QHeaderView* header = table.view->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(Model::NameColumn) + 5, 5));
    EXPECT_EQ(table.ids(), (QStringList{"mid", "alpha", "zeta"}));
    table.click("mid", Model::NameColumn);
    EXPECT_EQ(table.view->currentRow(), 2);
    EXPECT_TRUE(button("Edit")->isEnabled());

    // Cancel: the files as they were, the flags as at opening, no report.
    button("Cancel")->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(tree.snapshot(), before);
    EXPECT_TRUE(used["zeta"]);
    EXPECT_FALSE(used["alpha"]);
    EXPECT_EQ(entry("alpha")->enabled, Repo::Entry::Default);
    EXPECT_EQ(spy->count(), 0);

    // A flag kept by closing the window is reported.
    dialog->show();
    table.click("mid", Model::UseColumn);
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
    RepoEditorDriving::Table table(dialog.get());
    EXPECT_EQ(table.ids(), (QStringList{"(new)", "dup", "dup", "x", "y", "z"}));
    EXPECT_TRUE(table.cell("(new)", Model::IdColumn).data(Qt::FontRole).value<QFont>().italic());
    EXPECT_EQ(status()->text(), "A repository has no Identifier");
    EXPECT_EQ(statusColor(), QColor(Colors::error()));

    // Three rows, one of them through two of its cells.
    table.click("(new)", Model::IdColumn);
    table.click("x", Model::NameColumn, Qt::ControlModifier);
    table.click("(new)", Model::NameColumn, Qt::ControlModifier);
    table.click("z", Model::IdColumn, Qt::ControlModifier);
    button("Remove")->click();
    EXPECT_EQ(ids(), (QStringList{"dup", "y", "dup"}));
    EXPECT_FALSE(button("Edit")->isEnabled());
    EXPECT_EQ(status()->text(), "Two or more repositories have the Identifier, dup");
    EXPECT_EQ(statusColor(), QColor(Colors::error()));

    button("Reset All")->click();
    EXPECT_EQ(ids().size(), 6);
    EXPECT_EQ(status()->text(), "A repository has no Identifier");
}

// Every write goes through the store: a linked folder and a linked file stay
// links, a file that holds a password ends up private, and no temporary is
// readable by others while its content is in it, whatever the umask. After
// Apply the same repository is current; Cancel keeps what was applied.
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
    // As the credential check before the editor, which seeds the flags.
    ASSERT_TRUE(conf.read(nullptr));

    dialog->show();
    RepoEditorDriving::Table table(dialog.get());
    EXPECT_EQ(table.ids(), (QStringList{"linked", "s"}));
    table.click("s", Model::UseColumn);
    table.click("linked", Model::EnabledColumn);
    table.click("s", Model::IdColumn);
    button("Apply")->click();
    ASSERT_NE(table.view->currentRow(), -1);
    EXPECT_EQ(conf.entries.at(table.view->currentRow()).id, "s");
    EXPECT_FALSE(button("Apply")->isEnabled());
    EXPECT_EQ(status()->text(), "");

    EXPECT_EQ(tree.read("etc/yum.repos.d/real.repo"), "[linked]\nname=Through a link\nenabled=0\n");
    EXPECT_TRUE(QFileInfo(tree.path("etc/yum.repos.d/link.repo")).isSymLink());
    EXPECT_TRUE(QFileInfo(tree.path("etc/yum/repos.d")).isSymLink());
    EXPECT_EQ(modeOf(tree.path("etc/yum.repos.d/secret.repo")), 0600u);
    ASSERT_FALSE(fileSystem.modes.isEmpty());
    for (mode_t mode : fileSystem.modes)
        EXPECT_EQ(mode & 077, 0u);
    EXPECT_EQ(QDir(tree.path("etc/yum.repos.d")).entryList(QDir::Hidden | QDir::Files).size(), 3);

    button("Cancel")->click();
    EXPECT_TRUE(used["s"]);
    EXPECT_EQ(tree.read("etc/yum.repos.d/real.repo"), "[linked]\nname=Through a link\nenabled=0\n");
    EXPECT_EQ(spy->count(), 1);
    ::umask(umask);
}

// A position beyond what a plain spin box holds stays through the form.
TEST_F(RepoEditorTest, AnEditedSectionKeepsItsPositionBeyondAHundred)
{
    QByteArray many;
    for (int i = 1; i <= 150; ++i)
        many += "[s" + QByteArray::number(i) + "]\n\n";
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", many);
    BoxWatcher boxes;
    dialog->show();
    whenFormShows([](QWidget* form) { form->findChild<QLineEdit*>("name")->setText("last"); });
    RepoEditorDriving::Table(dialog.get()).doubleClick("s150", Model::NameColumn);
    button("Apply")->click();
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_TRUE(tree.read("etc/yum.repos.d/a.repo").endsWith("[s149]\n\n[s150]\nname=last\n"));
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
    // Only the forced opening reports, so that the start with the editor
    // goes on to the package list.
    EXPECT_EQ(spy->count(), 1);

    tree.write("etc/yum.repos.d/a.repo", "[fine]\n");
    QTimer::singleShot(0, [&] { button("OK")->click(); });
    EXPECT_EQ(dialog->exec(), QDialog::Accepted);
    EXPECT_EQ(spy->count(), 2);
}

// A file name typed into the form is written as the UTF-8 of what it shows.
TEST_F(RepoEditorTest, ANonAsciiFileNameIsWrittenAsItsUtf8)
{
    tree.write("etc/yum.conf", "[main]\n");
    BoxWatcher boxes;
    dialog->show();
    whenFormShows([&](QWidget* form) {
        RepoEditorDriving::type(form, "identifier", "typed");
        form->findChild<PasswdTextEdit*>("urls")->setRealPlainText("file:///srv/r");
        RepoEditorDriving::type(form, "file", QString::fromUtf8("caf\xc3\xa9.repo"));
    });
    button("Add")->click();
    button("Apply")->click();
    EXPECT_TRUE(boxes.boxes.isEmpty());
    QList<QByteArray> names;
    for (const QString& name : QDir(tree.path(firstRepoDir())).entryList(QDir::Files))
        names << QFile::encodeName(name);
    EXPECT_EQ(names, QList<QByteArray>{"caf\xc3\xa9.repo"});
}
