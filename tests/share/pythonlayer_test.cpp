// Runs the Python tests of the companion script and its yum layer
// (tests/share/test_*.py) with Debian's interpreter, each on a sandbox of its
// own; a script passes when it exits 0, and its whole output is shown when
// it does not.
#include <gtest/gtest.h>

#include <QProcess>

#include "common/sandbox.h"

namespace {

enum class Server { None, Kivrel };

void runPythonTest(const QString& script, Server server)
{
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    if (server == Server::Kivrel) {
        ASSERT_TRUE(sandbox.startKivrelServer());
    }

    QProcess process;
    process.setProcessEnvironment(sandbox.environment());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(sandbox.root());
    process.start("/usr/bin/python3", {TestSandbox::sourceDir() + "/tests/share/" + script});
    ASSERT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
    bool finished = process.waitForFinished(240000);
    QString output = QString::fromUtf8(process.readAll());
    if (!finished) {
        process.kill();
        process.waitForFinished();
        FAIL() << script.toStdString() << " did not finish in time:\n" << output.toStdString();
    }
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(process.exitCode(), 0) << output.toStdString();
}

} // namespace

TEST(PythonLayer, ScriptReadsTheProgramsConfigurationAndRepositoryTable)
{
    runPythonTest("test_config.py", Server::None);
}

TEST(PythonLayer, RepositoriesLoadThroughDnfIncludingKivrelOverHttp)
{
    runPythonTest("test_repos.py", Server::Kivrel);
}

TEST(PythonLayer, LockBelongsToTheProcessAndRefusesOthers)
{
    runPythonTest("test_lock.py", Server::None);
}

TEST(PythonLayer, FailuresLeaveAsYumErrorsWithoutCredentials)
{
    runPythonTest("test_errors.py", Server::None);
}

TEST(PythonLayer, CollectionGivesThePackageListsGroupsAndRepositoryActs)
{
    runPythonTest("test_collection.py", Server::Kivrel);
}

TEST(PythonLayer, DetailsLoadChangeLogsAndGiveFilesRelationsAndHeaders)
{
    runPythonTest("test_details.py", Server::None);
}

TEST(PythonLayer, CleaningActsOnTheCacheFolderOnlyWithYumsResults)
{
    runPythonTest("test_cleaning.py", Server::None);
}

TEST(PythonLayer, ApplyListsAsksAndRunsTheTransactionOrFailsAsAYumError)
{
    runPythonTest("test_apply.py", Server::Kivrel);
}

TEST(PythonLayer, FileListsAndChangeLogsFromTheCachedMetadataAreDnfs)
{
    runPythonTest("test_metadata.py", Server::None);
}

TEST(PythonLayer, TheMachinesArchitectureStandsForANameAndUndoableUpdatesAreTold)
{
    runPythonTest("test_multiarch.py", Server::None);
}
