// The one main of every test executable: the test environment, then
// GoogleTest with one QApplication, which widget, relay and event-loop tests
// all need.
#include <gtest/gtest.h>

#include <QApplication>
#include <QString>
#include <QStringList>

#include "engine/globals.h"

namespace
{

// HOME, the share directory, the offscreen platform and the rest are set
// here rather than by ctest, so a test run by hand sees the same world.
void setTestEnvironment()
{
    const QStringList assignments = QString::fromUtf8(KUV_TEST_ENVIRONMENT).split('\n');
    for (const QString& assignment : assignments) {
        int equals = assignment.indexOf('=');
        if (equals > 0)
            qputenv(assignment.left(equals).toUtf8().constData(), assignment.mid(equals + 1).toUtf8());
    }
}

}

int main(int argc, char** argv)
{
    setTestEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    application = &app;
    return RUN_ALL_TESTS();
}
