// A one-line editor for a URL that may carry a password: the user edits the
// whole text while the password part is shown as password characters.
#pragma once

#include <QLineEdit>
#include <QRegExp>
#include <QString>

#include "foundation/passwdmasking.h"

// A hidden twin editor holds and edits the real text; this editor shows a
// copy of it with capture 1 of every match of the expression masked, and
// whatever PasswdMasking keeps hidden. Keyboard and mouse events reach both
// editors. Neither editor cuts a text at a maximum length of its own.
class PasswdLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    PasswdLineEdit(const QRegExp& regExp, QWidget* parent);

    void setRealText(QString text);
    QString realText() const;
    // Hides what the finder reports too.
    void setPasswordFinder(PasswdMasking::Finder finder);

signals:
    // Emitted in the GUI thread after every change of the real text, once
    // the shown copy has been rebuilt.
    void realTextChanged(QString text);

protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private slots:
    // The twin's text changed to str. The name hides QLineEdit's signal of
    // the same name: connect to &QLineEdit::textChanged to hear this
    // editor's shown text change.
    void textChanged(QString str);

private:
    // Shows the masked copy of the real text unless this editor shows it
    // already; whether it did. cursor as for PasswdMasking::shown().
    bool showMasked(const QString& real, int cursor);
    // Gives the twin this editor's cursor and selection, and this editor the
    // masked real text if its own handling left another.
    void followShown();

    PasswdMasking masking;
    QLineEdit* twin;
    // setRealText() is setting the twin's text.
    bool settingWhole = false;
};
