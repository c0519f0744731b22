// A progress bar that names the activity beside its percentage.
#pragma once

#include <QProgressBar>
#include <QString>

class HProgressBar : public QProgressBar
{
public:
    explicit HProgressBar(QWidget* parent);

    // Clears the activity as well as the value.
    void reset();
    void setActivity(QString activity);

    // "activity (percentage)", or whichever of the two there is.
    QString text() const override;

private:
    QString activity;
};
