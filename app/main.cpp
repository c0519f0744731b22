// The program's entry point: style, application, icon, globals, main window,
// options, event loop.
#include <libgen.h>

#include <QApplication>
#include <QIcon>

#include "app/commandline.h"
#include "app/mainwindow.h"
#include "engine/configroot.h"
#include "engine/globals.h"
#include "foundation/defaultstyle.h"
#include "foundation/share.h"

int main(int argc, char** argv)
{
#ifdef KUV_CONFIG_ROOT
    // The developers' sandbox build reads yum's files below its own root.
    ConfigRoot::setRoot(QStringLiteral(KUV_CONFIG_ROOT));
#endif
    DefaultStyle defaultStyle(argc, argv);
    QApplication app(argc, argv);
    defaultStyle.set(app, "plastique");
    app.setWindowIcon(QIcon(Share::absolute("pixmaps/kuv.icon.png")));

    application = &app;
    program = basename(argv[0]);

    MainWindow* mainWindow = new MainWindow;
    CommandLine::parse(argc, argv, mainWindow);
    mainWindow->show();
    return app.exec();
}
