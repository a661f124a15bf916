#pragma once

#include <QString>

class QWidget;

/// Shows the program's message boxes. The window takes one through its constructor, so that
/// a test can answer (or record) every message instead of a person. UI thread only.
class MessagePresenter {
public:
    enum class Icon { Information, Warning, Error };

    virtual ~MessagePresenter() = default;
    /// Shows `text` with `caption` and `icon` over `parent` (may be null) and returns when the
    /// user has dismissed it.
    virtual void showMessage(QWidget* parent, const QString& text, const QString& caption,
                             Icon icon) = 0;
    /// Asks a Yes/No question (information icon); true for Yes. A presenter that cannot ask
    /// answers No, so nothing is deleted or replaced without a person's word.
    virtual bool askYesNo(QWidget* parent, const QString& text, const QString& caption)
    {
        (void)parent;
        (void)text;
        (void)caption;
        return false;
    }
};
