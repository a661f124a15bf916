#pragma once

#include "res/StringTable.h"

#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
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

protected:
    /// `widget`, named after its control number, so that people and tests find it.
    template <typename Widget> static Widget* named(Widget* widget, int id)
    {
        widget->setObjectName(QString::number(id));
        return widget;
    }
    /// A label showing string `stringId`, named after its control number.
    static QLabel* caption(int id, int stringId, QWidget* parent)
    {
        return named(new QLabel(StringTable::text(stringId), parent), id);
    }

    /// An edit of up to four digits: a number of seconds.
    static QLineEdit* secondsEdit(int id, QWidget* parent)
    {
        auto* edit = named(new QLineEdit(parent), id);
        edit->setMaxLength(4);
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(u'0') * 6 + 12);
        return edit;
    }

Q_SIGNALS:
    /// The page is about to show why it refuses a field: the sheet brings it to the front, so
    /// the message and the focus land on a page the user sees.
    void refusing();
};
