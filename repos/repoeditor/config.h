// The repository form's fields and their logic: one repository section laid
// out in a grid, the kivrel credentials shown as fields of their own and kept
// in step with the URLs, and the status rules that say what the section
// still lacks.
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include "repos/entry.h"
#include "repos/valuecheck.h"

class PasswdLineEdit;
class PasswdTextEdit;
class QComboBox;
class QDoubleSpinBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;
class YumConfIO;

namespace RepoEditor
{

class ConfigDialog;

class Config : public QObject
{
    Q_OBJECT

public:
    // Builds the form into the grid; the widgets get the grid's parent
    // widget, or none until the grid is installed in a widget.
    explicit Config(QGridLayout* grid);

    // Fills every field from the entry without emitting changed().
    void setEntry(const Repo::Entry& entry);
    // A default entry with every field taken from the form as it stands,
    // nothing trimmed.
    Repo::Entry toEntry() const;
    // Empties and disables every field; for the form before its first entry.
    void disable();
    // Shows yum.conf's [main] defaults in the combos' middle items.
    void setDefaults(bool enabledDefault, bool gpgcheckDefault);
    // Puts the first message whose rule holds into the label, in the palette
    // of its kind, and returns true; false, with the label untouched, when
    // no rule holds.
    bool setStatus(YumConfIO* yumConfIO, QLabel* status);
    // Whether the form may be taken as it stands: no value that the writer
    // would refuse (a value the file already held, unchanged, it keeps). A
    // missing identifier is left to the editor, which asks before it drops
    // such a repository.
    bool acceptable(YumConfIO* yumConfIO) const;

    // True while the Sort Position field holds a position other than the
    // entry's because the entry's did not fit it; the form must not be
    // taken then, or the entry would move silently.
    bool sortPositionRefused() const;

    // The field's range: a file the reader accepts holds far fewer
    // sections than this, so every position it numbers fits.
    static constexpr double maxSortPosition = 1e9;

signals:
    // Emitted in the GUI thread when the user changed a field; never while
    // the form fills its own fields.
    void changed();

public slots:
    // The user edited a credential field: every kivrel segment of the URLs
    // takes both credentials.
    void authChanged(QString text);
    // A URL changed: the credential fields show its segment.
    void urlChanged();
    void urlChanged(QString text);
    void valueChanged();
    void valueChanged(int state);
    void valueChanged(QString text);

private:
    friend class ConfigDialog;

    QGroupBox* createAuth(QWidget* parent);
    QGroupBox* createOptions(QWidget* parent);
    QGridLayout* createSimpleOptions(QWidget* parent);
    QGroupBox* createFileInfo(QWidget* parent);
    // The credential fields' labels, texts and enabling from an entry's
    // first kivrel segment.
    void showAuth(const Repo::Entry& entry);
    // Notes the value a text field was given and the text it made of it.
    void keep(const QObject* field, const QString& value, const QString& taken);
    // The field's value: the one it was given while it still holds what it
    // made of that, else its text.
    QString valueOf(const QObject* field, const QString& text) const;
    // Why the writer would refuse the File field, or nothing.
    QString fileError(YumConfIO* yumConfIO) const;
    // The problems of the values shown that the writer refuses; those the
    // file held already, which it writes back as they were, go to `held`
    // when given.
    static QList<Repo::ValueCheck::Problem> refusedProblems(
        YumConfIO* yumConfIO, const Repo::Entry& shown,
        QList<Repo::ValueCheck::Problem>* held = nullptr);

    bool updating = false;
    QLineEdit* identifier;
    QLineEdit* name;
    PasswdTextEdit* urls;
    PasswdLineEdit* mirrorList;
    QLabel* authNameLabel;
    QLineEdit* authName;
    QLabel* authPasswordLabel;
    QLineEdit* authPassword;
    QComboBox* enabled;
    QComboBox* gpgcheck;
    PasswdTextEdit* other;
    QLineEdit* file;
    QDoubleSpinBox* sortPosition;
    // The entry's own position while the field cannot hold it.
    bool refusedSortPosition = false;
    double entrySortPosition = 0.0;
    // For each text field that could not take its value whole (a text
    // edit turns a carriage return into a line break), the value and what
    // the field made of it: the file keeps the value until the user edits
    // the field.
    QHash<const QObject*, QPair<QString, QString>> kept;
};

}
