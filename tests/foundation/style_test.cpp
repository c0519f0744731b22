// Colours, fonts and the default-style rule.
#include <gtest/gtest.h>

#include <vector>

#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>

#include "foundation/colors.h"
#include "foundation/defaultstyle.h"
#include "foundation/fonts.h"
#include "tests/foundation/envguard.h"
#include "tests/foundation/qtprinters.h"

TEST(Colors, StatusPalettesColourTheWindowTextInEveryGroup)
{
    QPalette base;
    base.setColor(QPalette::Base, QColor("white"));
    struct Case {
        QPalette palette;
        QColor color;
    };
    std::vector<Case> cases = {{Colors::makeOK(base), QColor("green")},
                               {Colors::makeWarning(base), QColor("darkorange")},
                               {Colors::makeError(base), QColor("red")}};
    for (const Case& c : cases) {
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            EXPECT_EQ(c.palette.color(group, QPalette::WindowText), c.color);
            EXPECT_EQ(c.palette.color(group, QPalette::Base), base.color(group, QPalette::Base));
        }
    }
}

TEST(Colors, RequiredFieldKeepsOrdinaryBackgroundWhenDisabled)
{
    QLineEdit edit;
    QPalette ordinary = edit.palette();
    edit.setPalette(Colors::makeRequired(ordinary));
    QColor required(Colors::required());
    EXPECT_EQ(required, QColor("#fffacd"));
    EXPECT_EQ(edit.palette().color(QPalette::Active, QPalette::Base), required);
    EXPECT_EQ(edit.palette().color(QPalette::Inactive, QPalette::Base), required);
    edit.setEnabled(false);
    EXPECT_EQ(edit.palette().color(edit.palette().currentColorGroup(), QPalette::Base),
              ordinary.color(QPalette::Disabled, QPalette::Base));
}

TEST(Fonts, HeaderIsHalfAsLargeAgainInPixelsOrPoints)
{
    QFont pixels;
    pixels.setPixelSize(12);
    QFont header = Fonts::makeHeader(pixels);
    EXPECT_EQ(header.pixelSize(), 18);
    EXPECT_TRUE(header.bold());
    EXPECT_FALSE(header.fixedPitch());
    EXPECT_EQ(header.family(), QString("Helvetica"));

    QFont points;
    points.setPointSize(9);
    EXPECT_EQ(Fonts::makeHeader(points).pointSize(), 13);
    EXPECT_EQ(Fonts::makeHeader(points).pixelSize(), -1);
}

// Each test starts from the Fusion style, with no style variable and Qt's
// user settings in a folder of its own, and puts the style back after.
class DefaultStyleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        qunsetenv("QT_STYLE_OVERRIDE");
        originalStyle = QApplication::style()->objectName();
        originalPalette = QApplication::palette();
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        QApplication::setPalette(QApplication::style()->standardPalette());
        before = QApplication::style();
    }

    void TearDown() override
    {
        QApplication::setStyle(QStyleFactory::create(originalStyle));
        QApplication::setPalette(originalPalette);
        QString home = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home);
    }

    void applyWith(std::vector<const char*> arguments)
    {
        std::vector<char*> argv;
        for (const char* argument : arguments)
            argv.push_back(const_cast<char*>(argument));
        argv.push_back(nullptr);
        DefaultStyle style(int(arguments.size()), argv.data());
        style.set(*qApp, "plastique");
    }

    bool plastiqueApplied() const
    {
        QStyle* style = QApplication::style();
        return style != before && QString(style->metaObject()->className()) == "QPlastiqueStyle"
               && QApplication::palette().color(QPalette::Active, QPalette::Window)
                      == style->standardPalette().color(QPalette::Active, QPalette::Window);
    }

    bool untouched() const
    {
        return QApplication::style() == before
               && QApplication::palette().color(QPalette::Active, QPalette::Window)
                      == before->standardPalette().color(QPalette::Active, QPalette::Window);
    }

    QTemporaryDir settingsDir;
    EnvGuard styleOverride{"QT_STYLE_OVERRIDE"};
    QString originalStyle;
    QPalette originalPalette;
    QStyle* before = nullptr;
};

TEST_F(DefaultStyleTest, PlastiqueIsAvailable)
{
    EXPECT_TRUE(QStyleFactory::keys().contains("plastique", Qt::CaseInsensitive));
}

TEST_F(DefaultStyleTest, NoChoiceAppliesTheStyleWithItsStandardPalette)
{
    applyWith({"kuv", "--repos", "-s"});
    EXPECT_TRUE(plastiqueApplied());
}

TEST_F(DefaultStyleTest, StyleArgumentWithSeparateNameIsAChoice)
{
    applyWith({"kuv", "-style", "windows"});
    EXPECT_TRUE(untouched());
}

TEST_F(DefaultStyleTest, StyleArgumentWithEqualsIsAChoice)
{
    applyWith({"kuv", "-verbose", "-style=windows"});
    EXPECT_TRUE(untouched());
}

TEST_F(DefaultStyleTest, LookalikeArgumentsAreNoChoice)
{
    applyWith({"kuv", "--style=windows", "-stylesheet", "-stylewindows"});
    EXPECT_TRUE(plastiqueApplied());
}

TEST_F(DefaultStyleTest, ProgramPathIsNeverExamined)
{
    applyWith({"-style=windows"});
    EXPECT_TRUE(plastiqueApplied());
}

TEST_F(DefaultStyleTest, StyleInQtUserSettingsIsAChoiceWhateverItsValue)
{
    {
        QSettings settings(QSettings::UserScope, "Trolltech");
        settings.beginGroup("Qt");
        settings.setValue("style", "");
        settings.endGroup();
        settings.sync();
        ASSERT_EQ(settings.status(), QSettings::NoError);
    }
    applyWith({"kuv"});
    EXPECT_TRUE(untouched());
}

TEST_F(DefaultStyleTest, StyleNamedInQtUserSettingsIsApplied)
{
    {
        QSettings settings(QSettings::UserScope, "Trolltech");
        settings.setValue("Qt/style", "Windows");
        settings.sync();
        ASSERT_EQ(settings.status(), QSettings::NoError);
    }
    applyWith({"kuv"});
    EXPECT_EQ(QString(QApplication::style()->metaObject()->className()), "QWindowsStyle");
}

TEST_F(DefaultStyleTest, StyleElsewhereInTheSettingsIsNoChoice)
{
    {
        QSettings settings(QSettings::UserScope, "Trolltech");
        settings.setValue("style", "windows");
        settings.setValue("Qt/font", "Sans,10");
        settings.sync();
    }
    applyWith({"kuv"});
    EXPECT_TRUE(plastiqueApplied());
}

TEST_F(DefaultStyleTest, StyleOverrideVariableIsAChoice)
{
    qputenv("QT_STYLE_OVERRIDE", "windows");
    applyWith({"kuv"});
    EXPECT_TRUE(untouched());
}

TEST_F(DefaultStyleTest, UnknownStyleKeepsTheCurrentStyleAndPalette)
{
    std::vector<char*> argv = {const_cast<char*>("kuv"), nullptr};
    DefaultStyle style(1, argv.data());
    style.set(*qApp, "no-such-style");
    EXPECT_TRUE(untouched());
}
