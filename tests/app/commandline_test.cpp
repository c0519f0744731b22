// The command line: options into the window's fields, and the exact texts
// and status of every error and of the help request, from the real program.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegExp>

#include "app/commandline.h"
#include "app/mainwindow.h"

namespace
{

const char usageTail[] =
    "\n"
    "KUV, Kuvarin, is a graphical user interface which allows a user\n"
    "to make modifications to the installed rpm packages on a system.\n"
    "\n"
    "options:\n"
    "\n"
    "   -h, -H, --help           display this help information\n"
    "   -r,     --repo-editor    start by bringing up the repository configuration\n"
    "                            editor\n"
    "   -l,     --log            start with the log window displayed\n"
    "           --disablerepo=r  disable the specified repository, r\n"
    "           --enablerepo=r   enable the specified repository, r\n"
    "\n";

struct KuvRun
{
    int status;
    QString out;
    QString err;
};

KuvRun runKuv(const QStringList& arguments)
{
    QProcess process;
    process.start(qEnvironmentVariable("KUV_BIN_DIR") + "/kuv", arguments);
    EXPECT_TRUE(process.waitForFinished(30000)) << process.errorString().toStdString();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

QString usageText()
{
    return QString("usage: kuv [options...]\n") + usageTail;
}

void parse(MainWindow& window, std::vector<const char*> arguments)
{
    std::vector<char*> argv;
    for (const char* argument : arguments)
        argv.push_back(const_cast<char*>(argument));
    argv.push_back(nullptr);
    CommandLine::parse(int(argv.size()) - 1, argv.data(), &window);
}

}

TEST(CommandLine, OptionsFillTheWindowFieldsInCommandLineOrder)
{
    MainWindow window;
    parse(window, {"kuv", "--enablerepo=a*", "--disablerepo", "ab", "-l"});
    EXPECT_TRUE(window.startWithLog);
    EXPECT_FALSE(window.startWithRepoEditor);
    ASSERT_EQ(window.repoEnabled.size(), 2);
    EXPECT_TRUE(window.repoEnabled[0].enabled);
    EXPECT_EQ(window.repoEnabled[0].pattern.pattern(), "a*");
    EXPECT_TRUE(window.repoEnabled[0].pattern.exactMatch("abc"));
    EXPECT_FALSE(window.repoEnabled[1].enabled);
    EXPECT_EQ(window.repoEnabled[1].pattern.pattern(), "ab");
}

TEST(CommandLine, GroupedAndLongFlagsSetBothStartFields)
{
    MainWindow grouped;
    parse(grouped, {"kuv", "-rl"});
    EXPECT_TRUE(grouped.startWithRepoEditor);
    EXPECT_TRUE(grouped.startWithLog);

    MainWindow longForms;
    parse(longForms, {"kuv", "--repo-editor", "--log"});
    EXPECT_TRUE(longForms.startWithRepoEditor);
    EXPECT_TRUE(longForms.startWithLog);
    EXPECT_TRUE(longForms.repoEnabled.isEmpty());
}

TEST(CommandLine, HelpRequestsPrintUsageAndExitWithOne)
{
    for (const QString option : {"-h", "-H", "--help"}) {
        KuvRun run = runKuv({option});
        EXPECT_EQ(run.status, 1) << option.toStdString();
        EXPECT_EQ(run.out, usageText()) << option.toStdString();
        EXPECT_EQ(run.err, "") << option.toStdString();
    }
}

TEST(CommandLine, UnknownOptionsAreReportedBeforeTheUsage)
{
    KuvRun letter = runKuv({"-x"});
    EXPECT_EQ(letter.status, 1);
    EXPECT_EQ(letter.err, "kuv: unrecognized option letter: x\n");
    EXPECT_EQ(letter.out, usageText());

    KuvRun word = runKuv({"--bogus"});
    EXPECT_EQ(word.status, 1);
    EXPECT_EQ(word.err, "kuv: unrecogized option: --bogus\n");
    EXPECT_EQ(word.out, usageText());

    KuvRun missing = runKuv({"--enablerepo"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.startsWith("kuv: unrecogized option: --enablerepo\n")
                || missing.err.startsWith("kuv: unrecognized option letter: "))
        << missing.err.toStdString();
    EXPECT_EQ(missing.out, usageText());
}

TEST(CommandLine, ParsingStopsAtTheFirstOperand)
{
    KuvRun run = runKuv({"foo", "-l"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "kuv: unrecognized argument: foo\n");
    EXPECT_EQ(run.out, usageText());

    KuvRun after = runKuv({"-l", "foo", "--bogus"});
    EXPECT_EQ(after.err, "kuv: unrecognized argument: foo\n");
}

TEST(CommandLine, ProgramNameIsTheBaseNameOfItsPath)
{
    KuvRun run = runKuv({"-h"});
    EXPECT_TRUE(run.out.startsWith("usage: kuv [options...]\n"));
    EXPECT_FALSE(run.out.contains('/'));
}

TEST(MainWindowTitle, NamesTheHost)
{
    MainWindow window;
    EXPECT_TRUE(QRegExp("KUV - .+").exactMatch(window.windowTitle()))
        << window.windowTitle().toStdString();
}
