#pragma once

#include "ui/MessagePresenter.h"

#include <QList>
#include <QStringList>

#include <functional>

/// A MessagePresenter for tests: keeps every message instead of showing it, and answers
/// questions with `answerYes` (No unless a test says otherwise), keeping them too. A message
/// returns at once, unless `whileShown` is set: it runs before the message returns, as the time
/// a person takes to read it (it may wait for events, as a modal box does).
class RecordedMessages : public MessagePresenter {
public:
    void showMessage(QWidget*, const QString& text, const QString& caption, Icon icon) override
    {
        texts << text;
        captions << caption;
        icons << icon;
        if (whileShown)
            whileShown();
    }
    bool askYesNo(QWidget*, const QString& text, const QString&) override
    {
        questions << text;
        return answerYes;
    }
    void clear()
    {
        texts.clear();
        captions.clear();
        icons.clear();
        questions.clear();
    }

    QStringList texts;
    QStringList captions;
    QList<Icon> icons;
    QStringList questions;
    bool answerYes = false;
    std::function<void()> whileShown;
};
