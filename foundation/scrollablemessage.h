// The body shared by the scrollable confirm and error dialogs: a standard
// message icon beside the text in a scroll area that grows with the text up
// to nine tenths of the screen.
#pragma once

#include <QStyle>

class QDialog;
class QLabel;
class QString;
class QVBoxLayout;

class ScrollableMessage
{
public:
    // Builds the icon and the scrolled text into a new layout for dialog;
    // the caller adds its buttons and sets the layout. The text's label is
    // returned through label.
    static QVBoxLayout* layOut(QDialog* dialog, QStyle::StandardPixmap icon, const QString& text,
                               QLabel*& label);

    // Sizes the dialog, before its first show, to what its text needs
    // within nine tenths of the screen. Left to itself, Qt would stop a
    // window at two thirds of the screen, and a long line would scroll
    // sideways in a dialog that had room to show it. A dialog already sized
    // (by its caller, or by the user in an earlier run) keeps its size.
    static void fitToText(QDialog* dialog);

    ScrollableMessage() = delete;
};
