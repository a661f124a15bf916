#pragma once

#include "ui/MessagePresenter.h"

/// Message boxes as modal QMessageBox dialogs.
class QtMessagePresenter : public MessagePresenter {
public:
    void showMessage(QWidget* parent, const QString& text, const QString& caption,
                     Icon icon) override;
    bool askYesNo(QWidget* parent, const QString& text, const QString& caption) override;
};
