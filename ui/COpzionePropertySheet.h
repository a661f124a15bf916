#pragma once

#include <QDialog>

#include <vector>

class OptionsPage;
class QDialogButtonBox;
class QTabWidget;

/// The Options sheet: its pages as tabs (in the order added), OK and Cancel, no Apply and no
/// Help. OK asks every page to commit, in order; a page that refuses keeps the sheet open on
/// it. Cancel (or Escape) lets each page undo what it changed live.
///
/// Lifecycle: construct, addPage() each page, exec(). UI thread only.
class COpzionePropertySheet : public QDialog {
    Q_OBJECT

public:
    explicit COpzionePropertySheet(QWidget* parent = nullptr);

    /// Takes `page` as the next tab.
    void addPage(OptionsPage* page);
    QTabWidget* tabs() const { return m_tabs; }
    QDialogButtonBox* buttons() const { return m_buttons; }

    void accept() override;
    void reject() override;

private:
    QTabWidget* m_tabs = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    std::vector<OptionsPage*> m_pages;
};
