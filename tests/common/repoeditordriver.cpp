// The repository editor driven through its widgets.
#include "tests/common/repoeditordriver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTest>
#include <QTimer>

#include "repos/repoeditor/configdialog.h"
#include "repos/repoeditor/model.h"
#include "repos/repoeditor/view.h"

namespace RepoEditorDriving
{

QPushButton* button(QWidget* parent, const QString& text)
{
    for (QPushButton* b : parent->findChildren<QPushButton*>()) {
        if (b->text() == text)
            return b;
    }
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

void whenFormShows(std::function<void(QWidget* form)> fill)
{
    QTimer::singleShot(0, [fill] {
        auto* form = qobject_cast<RepoEditor::ConfigDialog*>(QApplication::activeModalWidget());
        if (!form) {
            ADD_FAILURE() << "the form did not show";
            return;
        }
        fill(form);
        button(form, "OK")->click();
    });
}

void type(QWidget* form, const char* field, const QString& text)
{
    auto* edit = form->findChild<QLineEdit*>(field);
    ASSERT_NE(edit, nullptr) << field;
    edit->setFocus();
    edit->selectAll();
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(edit, &event);
}

Table::Table(QWidget* editor)
    : view(editor->findChild<RepoEditor::View*>())
{
}

QStringList Table::ids() const
{
    QStringList result;
    const QAbstractItemModel* proxy = view->sortProxy();
    for (int row = 0; row < proxy->rowCount(); ++row)
        result << proxy->index(row, RepoEditor::Model::IdColumn).data().toString();
    return result;
}

QModelIndex Table::cell(const QString& id, int column) const
{
    const int row = ids().indexOf(id);
    EXPECT_NE(row, -1) << "no row " << id.toStdString();
    return view->sortProxy()->index(row, column);
}

void Table::click(const QString& id, int column, Qt::KeyboardModifiers modifiers) const
{
    const QModelIndex ix = cell(id, column);
    view->scrollTo(ix);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, view->visualRect(ix).center());
}

void Table::doubleClick(const QString& id, int column) const
{
    // A view takes a double click only on the cell that was pressed.
    click(id, column);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                       view->visualRect(cell(id, column)).center());
}

QString Table::toolTip(const QString& id, int column) const
{
    return cell(id, column).data(Qt::ToolTipRole).toString();
}

}
