// The default-style rule.
#include "foundation/defaultstyle.h"

#include <cstring>

#include <QApplication>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>

DefaultStyle::DefaultStyle(int argc, char** argv)
    : specified(false)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "-style=", 7) == 0 || std::strcmp(argv[i], "-style") == 0) {
            specified = true;
            return;
        }
    }
    // Qt 5 chooses a style from this variable before the program can.
    if (!qEnvironmentVariableIsEmpty("QT_STYLE_OVERRIDE")) {
        specified = true;
        return;
    }
    // Qt's own user settings, where a desktop-wide style choice is kept.
    QSettings settings(QSettings::UserScope, QStringLiteral("Trolltech"));
    settings.beginGroup(QStringLiteral("Qt"));
    specified = settings.contains(QStringLiteral("style"));
    // Qt 4 applied this style by itself; Qt 5 ignores it, so the program
    // does, to give the user the style they chose.
    if (specified)
        settingsStyle = settings.value(QStringLiteral("style")).toString();
}

void DefaultStyle::set(QApplication& application, QString name)
{
    if (specified) {
        if (!settingsStyle.isEmpty()) {
            if (QStyle* style = QStyleFactory::create(settingsStyle))
                application.setStyle(style);
        }
        return;
    }
    QStyle* style = QStyleFactory::create(name);
    if (!style)
        return;
    application.setStyle(style);
    application.setPalette(style->standardPalette());
}
