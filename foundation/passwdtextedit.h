// A multi-line editor for URLs that may carry passwords: the user edits the
// whole text while every password part is shown as password characters.
#pragma once

#include <QRegExp>
#include <QString>

#include "foundation/htextedit.h"
#include "foundation/passwdmasking.h"

// A hidden twin editor holds and edits the real text; this editor shows a
// copy of it with capture 1 of every match of the expression masked, and
// whatever PasswdMasking keeps hidden. Keyboard and mouse events reach both
// editors.
class PasswdTextEdit : public HTextEdit
{
    Q_OBJECT

public:
    PasswdTextEdit(const QRegExp& regExp, QWidget* parent);
    // The size hint in character cells, as HTextEdit's.
    PasswdTextEdit(const QRegExp& regExp, int columns, int rows, QWidget* parent);

    void setRealPlainText(QString text);
    QString realPlainText() const;
    // Hides what the finder reports too.
    void setPasswordFinder(PasswdMasking::Finder finder);

signals:
    // Emitted in the GUI thread after every change of the real text, once
    // the shown copy has been rebuilt.
    void realTextChanged();

protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool viewportEvent(QEvent* e) override;

private slots:
    // The twin's text changed. The name hides QTextEdit's signal of the
    // same name: connect to &QTextEdit::textChanged to hear this editor's
    // shown text change.
    void textChanged();

private:
    void init();
    // The base handling of e (of the viewport's events when onViewport),
    // then the twin's.
    bool forward(QEvent* e, bool onViewport);
    // Shows the masked real text unless this editor shows it already;
    // whether it did. cursor as for PasswdMasking::shown().
    bool showMasked(int cursor = -1);
    // Gives the twin this editor's cursor, selection and scrolling, and
    // this editor the masked real text if its own handling left another.
    void followShown();
    void syncScrolling();
    void mirrorSettings();

    PasswdMasking masking;
    HTextEdit* twin;
    // setRealPlainText() is setting the twin's text.
    bool settingWhole = false;
    // A left-button press landed in the selection: a move would start a
    // drag.
    bool dragArmed = false;
};
