// The log window: a top-level window that shows the engine's log as coloured
// rich text, up to a detail level the user chooses, and draws only what is
// new while the log grows. What it draws is bounded, whatever a scriptlet
// writes: of a line, the first maxLineCharacters characters and a mark that
// says how many more the log holds; of the log, the newest lines up to a
// height the text's layout keeps up with, below a mark that says how many
// earlier lines are not shown. The engine's log keeps every line whole.
#pragma once

#include <deque>
#include <vector>

#include <QString>
#include <QWidget>

#include "engine/log.h"

class HTextEdit;
class LogWindowTestAccess;
class QKeyEvent;
class QSpinBox;
class QTextCursor;
class QTimer;

namespace Log
{

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

    // The most characters of one line that are drawn.
    static const int maxLineCharacters = 100000;

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
    // An entry to draw, and how many characters of its text are not drawn.
    struct Line
    {
        Log::Entry entry;
        int hidden;
    };

    // Draws the newest entries of the list, up to what the window keeps:
    // one step now, the rest in later steps.
    void drawAll();
    // Draws up to one step of the entries beyond shown, after the last
    // line, and has the rest drawn in later steps; whether there were any
    // to examine.
    bool render();
    // Rich text of the entries, escaped in place: runs of lines share a
    // paragraph, a headline is a heading of its own. paragraphs is given
    // the number of lines of each paragraph made, in order.
    QString toHtml(std::vector<Line>& lines, std::vector<int>& paragraphs) const;
    // Adds the paragraphs of html after the last line; a reader at the end
    // of the log stays there.
    // paragraphs: the lines of each of its paragraphs.
    void insert(const QString& html, bool headingFirst, const std::vector<int>& paragraphs);
    // Removes the oldest paragraphs once more lines are drawn than the
    // window keeps, and says how many there were in the mark above the
    // rest.
    void trim();
    // Makes the empty paragraph at the cursor the mark of the earlier lines
    // not shown.
    void writeEarlierMark(QTextCursor& cursor);
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
    // and answers the user between them. A step also ends once it has
    // taken stepCharacters characters, so that long lines come a few at a
    // time.
    int stepLines;
    // The most lines the text holds. The layout of a rich text slows to
    // seconds for every change once the text is some twenty million pixels
    // tall; the window keeps well below that.
    int maxLines;
    // The number of lines of each paragraph drawn, oldest first, after the
    // mark of the earlier lines if there is one; and their sum.
    std::deque<int> blockLines;
    qint64 drawnLines = 0;
    // Lines of the log, from the first, that are not shown above the
    // drawn ones (a mark says how many when there are any).
    qint64 earlier = 0;
    // Starts the next step.
    QTimer* more;
    // Connected to the list and drawing: set by a show, cleared by a hide.
    bool following = false;
    // The event processing after a drawing is running: a drawing re-entered
    // from it does not process events again.
    bool processing = false;
};

}
