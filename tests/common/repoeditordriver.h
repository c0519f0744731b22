// Driving the repository editor as a user does: its table's rows by
// identifier, clicks on its cells and buttons, and the form filled and
// accepted from inside its own modal loop.
#pragma once

#include <functional>

#include <QModelIndex>
#include <QString>
#include <QStringList>

class QPushButton;
class QWidget;

namespace RepoEditor
{
class View;
}

namespace RepoEditorDriving
{

// The push button with that text; a missing one fails the test.
QPushButton* button(QWidget* parent, const QString& text);

// Fills the form as soon as it shows (from the next pass of the event loop),
// then presses its OK.
void whenFormShows(std::function<void(QWidget* form)> fill);

// Types into the form's line edit as an input method commits text, so that
// any language's characters arrive as the user's edit.
void type(QWidget* form, const char* field, const QString& text);

class Table
{
public:
    explicit Table(QWidget* editor);

    // The identifiers in the order the table shows them.
    QStringList ids() const;
    // The view's cell of the first row with the identifier.
    QModelIndex cell(const QString& id, int column) const;
    void click(const QString& id, int column,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) const;
    void doubleClick(const QString& id, int column) const;
    QString toolTip(const QString& id, int column) const;

    RepoEditor::View* view;
};

}
