#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

/// Answers the next `Dialog` the code under test shows (usually from inside its exec()):
/// polls the top-level widgets every 20 ms and calls `answer` once with the first visible one.
template <typename Dialog> void answerWhenShown(std::function<void(Dialog&)> answer)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<Dialog*>(widget);
            if (dialog != nullptr && dialog->isVisible()) {
                poll->stop();
                poll->deleteLater();
                answer(*dialog);
                return;
            }
        }
    });
    poll->start(20);
}
