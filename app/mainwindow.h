// The application window: menus, the package browser and the two progress
// bars. At this stage it holds the fields the command line fills; the
// package browser and its operations grow into it.
#pragma once

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QString>

#include "repos/yumrepoenabled.h"

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow();

    // Filled by the command line before the window is shown.
    bool startWithRepoEditor;
    bool startWithLog;
    QList<YumRepoEnabled> repoEnabled;

    // Session use flag per repository identifier.
    QHash<QString, bool> used;

    QSize sizeHint() const override;

private:
    static QString nodeName();
};
