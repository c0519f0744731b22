// Construction of the main window.
#include "app/mainwindow.h"

#include <sys/utsname.h>

#include <QFontMetrics>

MainWindow::MainWindow()
    : startWithRepoEditor(false), startWithLog(false)
{
    setWindowTitle(tr("KUV - %1").arg(nodeName(), 0, QLatin1Char(' ')));
}

QSize MainWindow::sizeHint() const
{
    QFontMetrics metrics(font());
    return QSize(metrics.averageCharWidth() * 80, metrics.lineSpacing() * 30);
}

QString MainWindow::nodeName()
{
    struct utsname name;
    if (uname(&name) != 0)
        return QString();
    return QString::fromLocal8Bit(name.nodename);
}
