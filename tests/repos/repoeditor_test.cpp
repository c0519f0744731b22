// The repository editor on a configuration root of its own: the sorted
// table and its check marks, the status line, Remove, Apply, Reset All and
// Cancel with the session flags, the write's guarantees through Apply, a
// position and a value the file held kept through the form, and an opening
// whose read fails.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

// A click on a column header sorts and chooses no row, so Remove takes only
// the rows the user chose, and a plain click still chooses a row.
TEST_F(RepoEditorTest, AHeaderClickSortsWithoutChoosingRowsForRemove)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[a]\nname=3\n\n[b]\nname=2\n\n[c]\nname=1\n");
    dialog->show();
    RepoEditorDriving::Table table(dialog.get());
    QHeaderView* header = table.view->horizontalHeader();
    auto clickHeader = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    };

    clickHeader(Model::NameColumn);
    EXPECT_EQ(table.ids(), (QStringList{"c", "b", "a"}));
    EXPECT_TRUE(table.view->selectedRows().isEmpty());
    button("Remove")->click();
    EXPECT_EQ(ids(), (QStringList{"a", "b", "c"}));

    table.click("b", Model::IdColumn);
    clickHeader(Model::IdColumn);
    EXPECT_EQ(table.ids(), (QStringList{"a", "b", "c"}));
    clickHeader(Model::UseColumn);
    QList<int> rows;
    for (const QModelIndex& ix : table.view->selectedRows())
        rows << ix.row();
    EXPECT_EQ(rows, QList<int>{1});
    button("Remove")->click();
    EXPECT_EQ(ids(), (QStringList{"a", "c"}));
}

// The status text changes as the user works; the bottom buttons stay where
// they are, so a second click lands where the first was aimed.
TEST_F(RepoEditorTest, TheButtonsStayInPlaceWhenTheStatusChanges)
{
    const QString longId(60, 'q');
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[a]\nname=A\n");
    dialog->show();
    RepoEditorDriving::Table table(dialog.get());
    auto places = [&] {
        QApplication::sendPostedEvents();
        QApplication::processEvents();
        QList<int> result{dialog->width()};
        for (const char* text : {"Reset All", "Cancel", "Apply", "OK"})
            result << button(text)->mapTo(dialog.get(), QPoint()).x();
        return result;
    };
    const QList<int> opened = places();
    EXPECT_EQ(status()->text(), "");

    whenFormShows([](QWidget* form) { form->findChild<QLineEdit*>("name")->setText("edited"); });
    table.doubleClick("a", Model::NameColumn);
    EXPECT_EQ(status()->text(), "Unapplied Configuration Changes");
    EXPECT_EQ(places(), opened);
    // The usual texts are there to be read in full.
    EXPECT_GE(status()->width(), status()->fontMetrics().horizontalAdvance(status()->text()));

    // Two copies under one long identifier: the status quotes it.
    for (int copy = 0; copy < 2; ++copy) {
        table.click(copy == 0 ? "a" : longId, Model::NameColumn);
        whenFormShows([&](QWidget* form) {
            form->findChild<QLineEdit*>("identifier")->setText(longId);
            form->findChild<QLineEdit*>("name")->setText(QString("copy %1").arg(copy));
        });
        button("Copy")->click();
    }
    EXPECT_EQ(status()->text(), "Two or more repositories have the Identifier, " + longId);
    EXPECT_EQ(places(), opened);
}

// A write that reports a failure keeps the change pending: Apply stays on,
// OK keeps the window open, and the next Apply does what the failed one
// could not. A doubled section the user agreed to drop leaves the table.
TEST_F(RepoEditorTest, ARemovalThatFailsKeepsTheChangePending)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[a]\n\n[a]\nname=again\n");
    tree.write("etc/yum.repos.d/gone.repo", "[gone]\n");
    FaultyFileSystem fileSystem;
    fileSystem.pathEnd = "/gone.repo";
    conf.setFileSystem(&fileSystem);
    dialog->show();
    RepoEditorDriving::Table table(dialog.get());
    table.click("gone", Model::IdColumn);
    button("Remove")->click();
    // The emptied file cannot be removed on Apply, nor examined on OK.
    for (const char* press : {"Apply", "OK"}) {
        const bool apply = press == QString("Apply");
        fileSystem.removeFailure = apply ? EIO : 0;
        fileSystem.statusFailure = apply ? 0 : EIO;
        BoxWatcher boxes(QMessageBox::Yes);
        button(press)->click();
        // The question about the doubled identifier comes once.
        ASSERT_EQ(boxes.boxes.size(), apply ? 2 : 1) << press;
        EXPECT_EQ(boxes.boxes.last().text,
                  QString("Unable to %1 repository configuration file %2; errno = 5 "
                          "(Input/output error).")
                      .arg(apply ? "unlink" : "stat", tree.path("etc/yum.repos.d/gone.repo")));
        EXPECT_TRUE(dialog->isVisible()) << press;
        EXPECT_TRUE(button("Apply")->isEnabled()) << press;
        EXPECT_EQ(status()->text(), "Unapplied Configuration Changes") << press;
        EXPECT_EQ(table.ids(), QStringList{"a"}) << press;
        EXPECT_TRUE(tree.exists("etc/yum.repos.d/gone.repo")) << press;
    }

    fileSystem.statusFailure = 0;
    button("Apply")->click();
    EXPECT_FALSE(button("Apply")->isEnabled());
    EXPECT_FALSE(tree.exists("etc/yum.repos.d/gone.repo"));
    button("Cancel")->click();
    EXPECT_EQ(ids(), QStringList{"a"});
    EXPECT_EQ(spy->count(), 1);
}

// The form has no field for the indent of the URL lines: an edit through it
// keeps the file's own.
TEST_F(RepoEditorTest, AnEditThroughTheFormKeepsTheIndentOfTheUrlLines)
{
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[a]\nbaseurl=http://h/one\n\thttp://h/two\n");
    dialog->show();
    whenFormShows([](QWidget* form) { form->findChild<QLineEdit*>("name")->setText("named"); });
    RepoEditorDriving::Table(dialog.get()).doubleClick("a", Model::NameColumn);
    button("Apply")->click();
    EXPECT_EQ(tree.read("etc/yum.repos.d/a.repo"),
              "[a]\nname=named\nbaseurl=http://h/one\n\thttp://h/two\n");
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

// Values longer than a line edit holds by default, and characters a text
// edit would turn into others (a carriage return, a no-break space of a
// Latin-1 file), go back to the file byte for byte when the form edits
// another field.
TEST_F(RepoEditorTest, AFormEditKeepsEveryOtherValueWhole)
{
    QByteArray longName, longMirror;
    for (int i = 0; longName.size() < 40000; ++i)
        longName += "name part " + QByteArray::number(i) + ' ';
    for (int i = 0; longMirror.size() < 40000; ++i)
        longMirror += "/m" + QByteArray::number(i);
    const QByteArray longId = "long" + QByteArray(33000, 'i');
    const QByteArray other = "keepcache=0\r\n# caf\xa0 au lait\n";
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/a.repo", "[" + longId + "]\nname=" + longName
                                             + "\nbaseurl=http://a/\nmirrorlist=http://m" + longMirror
                                             + "\n" + other + "\n[b]\nname=B\nbaseurl=http://b/\xa0x\r\n");
    BoxWatcher boxes;
    dialog->show();
    RepoEditorDriving::Table table(dialog.get());
    ASSERT_EQ(table.ids().size(), 2);

    // One edit of the URLs of the long section, one of the name of the other.
    whenFormShows([](QWidget* form) {
        auto* urls = form->findChild<PasswdTextEdit*>("urls");
        urls->setFocus();
        QTest::keyClick(urls, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(urls, "x");
    });
    table.doubleClick(QString::fromLatin1(longId), Model::NameColumn);
    whenFormShows([](QWidget* form) { RepoEditorDriving::type(form, "name", "B2"); });
    table.doubleClick("b", Model::NameColumn);
    button("Apply")->click();
    EXPECT_TRUE(boxes.boxes.isEmpty());
    const QByteArray written = tree.read("etc/yum.repos.d/a.repo");
    const QByteArray expected = "[" + longId + "]\nname=" + longName + "\nbaseurl=http://a/x\nmirrorlist=http://m"
                                + longMirror + "\n" + other + "\n[b]\nname=B2\nbaseurl=http://b/\xa0x\r\n";
    // Where the two first part, with some bytes on either side: the texts
    // are too long to print whole.
    int at = 0;
    while (at < written.size() && at < expected.size() && written[at] == expected[at])
        ++at;
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_EQ(written.mid(at - 20, 60), expected.mid(at - 20, 60)) << "from byte " << at - 20;
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

// A value the rule refuses but the file already held goes back as it was:
// the form warns about it instead of refusing it, takes an edit of another
// field, and the write keeps the header byte for byte, so that dnf reads the
// same repository before and after, its variables replaced.
TEST_F(RepoEditorTest, AFormEditKeepsAHeldIdentifierThatDnfReadsWithItsVariables)
{
    const QByteArray header = "[local-$releasever-$basearch]\n";
    tree.write("etc/yum.conf", "[main]\n");
    tree.write("etc/yum.repos.d/local.repo",
               header + "name=Local\nbaseurl=file:///srv/local\n\n[plain]\nname=Plain\n");
    BoxWatcher boxes;
    dialog->show();
    const QJsonArray before = readByDnf(conf.reposdirs)["repos"].toArray();
    ASSERT_EQ(before.size(), 2);

    QString shownStatus;
    QColor shownColour;
    bool refused = false;
    whenFormShows([&](QWidget* form) {
        auto* label = form->findChild<QLabel*>("status");
        shownStatus = label->text();
        shownColour = label->palette().color(QPalette::WindowText);
        RepoEditorDriving::type(form, "name", "Local renamed");
        // OK runs after this: a form it leaves open is closed here, so that
        // the refusal fails the test instead of hanging it.
        QTimer::singleShot(0, form, [form, &refused] {
            if (form->isVisible()) {
                refused = true;
                qobject_cast<QDialog*>(form)->reject();
            }
        });
    });
    RepoEditorDriving::Table(dialog.get()).doubleClick("local-$releasever-$basearch",
                                                       Model::NameColumn);
    EXPECT_FALSE(refused) << shownStatus.toStdString();
    EXPECT_TRUE(shownStatus.contains("dnf reads it otherwise")) << shownStatus.toStdString();
    EXPECT_EQ(shownColour, QColor(Colors::warning()));

    button("Apply")->click();
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_EQ(tree.read("etc/yum.repos.d/local.repo"),
              header + "name=Local renamed\nbaseurl=file:///srv/local\n\n[plain]\nname=Plain\n");
    // dnf's identifier for it, with its variables replaced, is kept; only
    // the name moved.
    QJsonArray expected;
    for (const QJsonValue& value : before) {
        QJsonObject repo = value.toObject();
        if (repo["name"] == "Local") {
            EXPECT_TRUE(repo["id"].toString().startsWith("local-1-"))
                << repo["id"].toString().toStdString();
            repo["name"] = "Local renamed";
        }
        expected.append(repo);
    }
    EXPECT_EQ(QJsonDocument(readByDnf(conf.reposdirs)["repos"].toArray()).toJson(),
              QJsonDocument(expected).toJson());
}
