#pragma once

#include "ui/MessagePresenter.h"

#include <QList>
#include <QStringList>

/// A MessagePresenter for tests: keeps every message instead of showing it, and answers
/// questions with `answerYes` (No unless a test says otherwise), keeping them too.
class RecordedMessages : public MessagePresenter {
public:
    void showMessage(QWidget*, const QString& text, const QString& caption, Icon icon) override
    {
        texts << text;
        captions << caption;
        icons << icon;
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
};
