// The small widgets of the kit: the dialog that ignores Return and Enter,
// the menu with action tooltips, the progress bar with an activity, and the
// text edit's focus signal and compact lines.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBoxLayout>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QToolTip>

#include "foundation/hdialog.h"
#include "foundation/hmenu.h"
#include "foundation/hprogressbar.h"
#include "foundation/htextedit.h"
#include "tests/foundation/qtprinters.h"

namespace {

// A dialog with a field and a default OK button, as the program's forms.
template <typename Dialog>
class Form
{
public:
    Form()
        : dialog(nullptr)
    {
        QVBoxLayout* layout = new QVBoxLayout(&dialog);
        field = new QLineEdit(&dialog);
        QPushButton* ok = new QPushButton("OK", &dialog);
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        layout->addWidget(field);
        layout->addWidget(ok);
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        field->setFocus();
    }

    Dialog dialog;
    QLineEdit* field;
};

// Counts paint events of a widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

void sendToolTip(QMenu& menu)
{
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), menu.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&menu, &help);
}

} // namespace

TEST(DialogKeys, ReturnAndEnterNeitherAcceptNorReject)
{
    Form<HDialog> form;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form.dialog));
    QSignalSpy finished(&form.dialog, &QDialog::finished);
    QTest::keyClick(form.field, Qt::Key_Return);
    QTest::keyClick(form.field, Qt::Key_Enter);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(form.dialog.isVisible());

    QTest::keyClick(form.field, Qt::Key_Escape);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
}

TEST(DialogKeys, PlainDialogWouldAcceptOnReturn)
{
    // The same form on a plain QDialog, so the test above is known to
    // detect a press of the default button.
    Form<QDialog> form;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form.dialog));
    QSignalSpy accepted(&form.dialog, &QDialog::accepted);
    QTest::keyClick(form.field, Qt::Key_Return);
    EXPECT_EQ(accepted.count(), 1);
}

class MenuTips : public ::testing::Test
{
protected:
    void SetUp() override
    {
        bar = new QMenuBar(&window);
        menu = new HMenu("&Program", bar);
        open = menu->addAction("&Open Settings...");
        open->setToolTip("Open Settings");
        save = menu->addAction("&Save");
        save->setToolTip("Write the changes to the file");
        plain = menu->addAction("&Plain");
        sub = menu->addMenu("&More");
        deep = sub->addAction("&Deep");
        deep->setToolTip("Deep tip");
        sub->menuAction()->setToolTip("Outer tip");
        bar->addMenu(menu);
        window.resize(300, 200);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        menu->popup(bar->mapToGlobal(QPoint(0, bar->height())));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        // A text that stays while the menu shows nothing of its own.
        QToolTip::showText(QPoint(0, 0), "unchanged");
    }

    void TearDown() override
    {
        sub->hide();
        menu->hide();
        QToolTip::hideText();
    }

    QWidget window;
    QMenuBar* bar = nullptr;
    HMenu* menu = nullptr;
    QAction* open = nullptr;
    QAction* save = nullptr;
    QAction* plain = nullptr;
    QMenu* sub = nullptr;
    QAction* deep = nullptr;
};

TEST_F(MenuTips, TooltipOfItsOwnIsShown)
{
    menu->setActiveAction(save);
    sendToolTip(*menu);
    EXPECT_EQ(QToolTip::text(), QString("Write the changes to the file"));
}

TEST_F(MenuTips, TooltipRepeatingTheTextIsNotShown)
{
    menu->setActiveAction(open);
    sendToolTip(*menu);
    EXPECT_EQ(QToolTip::text(), QString("unchanged"));
    // An action without a tooltip reports its text as one.
    menu->setActiveAction(plain);
    sendToolTip(*menu);
    EXPECT_EQ(QToolTip::text(), QString("unchanged"));
}

TEST_F(MenuTips, DeepestActiveActionOfOpenSubmenusIsShown)
{
    menu->setActiveAction(sub->menuAction());
    sub->popup(menu->mapToGlobal(QPoint(menu->width(), 0)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sub));
    sub->setActiveAction(deep);
    ASSERT_EQ(menu->activeAction(), sub->menuAction());
    sendToolTip(*menu);
    EXPECT_EQ(QToolTip::text(), QString("Deep tip"));
}

TEST_F(MenuTips, SubmenuWithoutActiveActionShowsNothing)
{
    menu->setActiveAction(sub->menuAction());
    ASSERT_EQ(sub->activeAction(), nullptr);
    sendToolTip(*menu);
    EXPECT_EQ(QToolTip::text(), QString("unchanged"));
}

TEST(ProgressText, ActivityBesideThePercentage)
{
    HProgressBar bar(nullptr);
    bar.setRange(0, 100);
    bar.setValue(40);
    EXPECT_EQ(bar.text(), QString("40%"));
    bar.setActivity("Preparing");
    EXPECT_EQ(bar.text(), QString("Preparing (40%)"));
    bar.reset();
    EXPECT_EQ(bar.text(), QString());
    bar.setActivity("Downloading");
    EXPECT_EQ(bar.text(), QString("Downloading"));
    bar.setValue(100);
    EXPECT_EQ(bar.text(), QString("Downloading (100%)"));
}

TEST(ProgressText, SameActivityRepaintsOnce)
{
    HProgressBar bar(nullptr);
    bar.setRange(0, 10);
    bar.setValue(3);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    QApplication::processEvents();
    PaintCounter counter;
    bar.installEventFilter(&counter);

    bar.setActivity("Resolving");
    QApplication::processEvents();
    int afterFirst = counter.paints;
    EXPECT_GE(afterFirst, 1);
    bar.setActivity("Resolving");
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, afterFirst);
    bar.setActivity("Installing");
    QApplication::processEvents();
    EXPECT_GT(counter.paints, afterFirst);
}

TEST(TextEditLines, CompactLinesHaveNoParagraphSpacing)
{
    HTextEdit edit(nullptr);
    edit.append("<p>ordinary</p>");
    // Rich paragraphs carry margins, which a compact line must lose.
    ASSERT_GT(edit.document()->lastBlock().blockFormat().topMargin(), 0.0);
    edit.appendCompact("<p>compact</p>");
    QTextBlockFormat format = edit.document()->lastBlock().blockFormat();
    EXPECT_EQ(format.topMargin(), 0.0);
    EXPECT_EQ(format.bottomMargin(), 0.0);
    EXPECT_EQ(edit.document()->lastBlock().text(), QString("compact"));
    EXPECT_GT(edit.document()->firstBlock().blockFormat().topMargin(), 0.0);
}

class TextEditFocus : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QVBoxLayout* layout = new QVBoxLayout(&window);
        edit = new HTextEdit(&window);
        other = new QLineEdit(&window);
        layout->addWidget(edit);
        layout->addWidget(other);
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
        ASSERT_TRUE(edit->hasFocus());
    }

    QWidget window;
    HTextEdit* edit = nullptr;
    QLineEdit* other = nullptr;
};

TEST_F(TextEditFocus, LeavingForAnotherWidgetFinishesEditing)
{
    QSignalSpy finished(edit, &HTextEdit::editingFinished);
    other->setFocus();
    EXPECT_TRUE(other->hasFocus());
    EXPECT_EQ(finished.count(), 1);
}

TEST_F(TextEditFocus, OwnContextMenuDoesNotFinishEditing)
{
    QSignalSpy finished(edit, &HTextEdit::editingFinished);
    QMenu* menu = edit->createStandardContextMenu();
    menu->setParent(edit, menu->windowFlags());
    menu->popup(edit->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    EXPECT_EQ(QApplication::activePopupWidget(), menu);
    menu->hide();
    delete menu;
    EXPECT_EQ(finished.count(), 0);
    other->setFocus();
    EXPECT_EQ(finished.count(), 1);
}
