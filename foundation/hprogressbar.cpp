// The progress bar with an activity text.
#include "foundation/hprogressbar.h"

HProgressBar::HProgressBar(QWidget* parent)
    : QProgressBar(parent)
{
}

void HProgressBar::reset()
{
    activity = QString();
    QProgressBar::reset();
}

void HProgressBar::setActivity(QString activity)
{
    // Progress reports repeat the same activity many times a second.
    if (activity == this->activity)
        return;
    this->activity = activity;
    update();
}

QString HProgressBar::text() const
{
    QString base = QProgressBar::text();
    if (!activity.isEmpty() && !base.isEmpty())
        return tr("%1 (%2)").arg(activity, base);
    return activity.isEmpty() ? base : activity;
}
