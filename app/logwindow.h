// The log window: a top-level window that shows the engine's log as coloured
// rich text, up to a detail level the user chooses, and draws only what is
// new while the log grows.
#pragma once

#include <vector>

#include <QString>
#include <QWidget>

class HTextEdit;
class LogWindowTestAccess;
class QKeyEvent;
class QSpinBox;
class QTimer;

namespace Log
{

class Entry;
class EntryList;

class Window : public QWidget
{
    Q_OBJECT

    friend class ::LogWindowTestAccess;

public:
    // Hidden and empty; nothing is drawn or connected to the list until the
    // first show. parent is kept but not made the Qt parent, so the window
    // stands on its own.
    Window(Log::EntryList& list, QWidget* parent);
    ~Window() override;

    // Makes one log line safe to insert as rich text, in place: every
    // character stands for itself, blanks and tabs one for one.
    static void htmlProtect(QString& s);

public slots:
    // Showing draws the whole list and follows it from then on; hiding lets
    // go of the list and of every line drawn.
    void setVisible(bool visible) override;

protected slots:
    // Draws the entries appended since the last drawing, then lets the
    // pending events through (user input excepted) so that the new lines
    // are painted while the GUI thread is busy.
    void appended();
    // Draws the whole list again under the new threshold.
    void levelChanged(int level);

protected:
    // Escape hides the window.
    void keyPressEvent(QKeyEvent* e) override;

private slots:
    // The next step of a drawing too long for one go.
    void drawMore();

private:
    // Draws the whole list from its first entry: one step now, the rest in
    // later steps.
    void drawAll();
    // Draws up to one step of the entries beyond shown, after the last
    // line, and has the rest drawn in later steps; whether there were any
    // to examine.
    bool render();
    // Rich text of the entries, escaped in place: runs of lines share a
    // paragraph, a headline is a heading of its own.
    QString toHtml(std::vector<Log::Entry>& entries) const;
    // Adds the paragraphs of html after the last line; a reader at the end
    // of the log stays there.
    void insert(const QString& html, bool headingFirst);
    void clearText();

    QWidget* parent;
    QSpinBox* level;
    Log::EntryList* list;
    HTextEdit* text;
    // How many of the list's entries have been examined (drawn, or skipped
    // as too detailed), counted from the first. Only the GUI thread touches
    // it.
    int shown = 0;
    // The most lines one step draws. A long log, or a long burst of lines,
    // is drawn in steps from the event loop, so that the window repaints
    // and answers the user between them.
    int stepLines;
    // Starts the next step.
    QTimer* more;
    // Connected to the list and drawing: set by a show, cleared by a hide.
    bool following = false;
    // The event processing after a drawing is running: a drawing re-entered
    // from it does not process events again.
    bool processing = false;
};

}
