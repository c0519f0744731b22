// Running one scenario of the end-to-end executable in a child process.
#include "tests/e2e/childscenario.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

void expectScenarioPassesInChild(const char* variable, const QString& fullName)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(variable), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=" + fullName});
    const bool finished = child.waitForFinished(180000);
    if (!finished) {
        child.kill();
        child.waitForFinished();
    }
    const QString output = QString::fromUtf8(child.readAll());
    ASSERT_TRUE(finished) << "the scenario did not finish in time:\n" << output.toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    // A filter that matched nothing would end with status 0 as well.
    EXPECT_TRUE(output.contains("[       OK ] " + fullName)) << output.toStdString();
}
