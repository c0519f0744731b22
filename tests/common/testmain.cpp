// The one main of every test executable: the test environment, then
// GoogleTest with one QApplication, which widget, relay and event-loop tests
// all need.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
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
    // The one switch from the offscreen platform: an executable run under
    // Xvfb (the end-to-end test) names the real one, e.g. "xcb", in
    // KUV_TEST_PLATFORM.
    const QByteArray platform = qgetenv("KUV_TEST_PLATFORM");
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    application = &app;
    return RUN_ALL_TESTS();
}
