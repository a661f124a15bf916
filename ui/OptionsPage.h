#pragma once

#include <QWidget>

/// One page of the Options sheet. A page reads its values from the settings file when it is
/// built and writes them back only in commit(). UI thread only.
class OptionsPage : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

    /// The tab's caption.
    virtual QString title() const = 0;
    /// OK was pressed: checks the fields and writes them. A refused field has been shown its
    /// message and given the focus; the sheet must stay open then (values written before the
    /// refusal stay written).
    virtual bool commit() = 0;
    /// The sheet closes without OK: undoes what the page changed live (nothing is written).
    virtual void cancel() {}

Q_SIGNALS:
    /// The page is about to show why it refuses a field: the sheet brings it to the front, so
    /// the message and the focus land on a page the user sees.
    void refusing();
};
