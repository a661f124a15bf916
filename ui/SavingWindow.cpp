#include "ui/SavingWindow.h"

#include "res/StringTable.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

SavingWindow::SavingWindow(QWidget* window)
    : QDialog(window), m_window(window), m_text(new QLabel(StringTable::text(235), this)),
      m_bar(new QProgressBar(this))
{
    setObjectName(QStringLiteral("288"));
    setWindowTitle(StringTable::text(234));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setModal(false);
    m_bar->setTextVisible(false);
    m_bar->setMinimumWidth(240);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
}

RecordingList::Progress SavingWindow::progress()
{
    return [this](int done, int total) { report(done, total); };
}

void SavingWindow::report(int done, int total)
{
    if (!isVisible() && done < total) {
        m_bar->setRange(0, total);
        if (m_window != nullptr)
            move(m_window->mapToGlobal(m_window->rect().center()));
        show();
        m_shown = true;
    }
    m_bar->setValue(done);
    if (done >= total) {
        hide();
        return;
    }
    // The save keeps the event loop busy until it ends: paint now.
    repaint();
}
