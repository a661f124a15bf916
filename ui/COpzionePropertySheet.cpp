#include "ui/COpzionePropertySheet.h"

#include "res/StringTable.h"
#include "ui/OptionsPage.h"

#include <QDialogButtonBox>
#include <QIcon>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

COpzionePropertySheet::COpzionePropertySheet(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("OptionsSheet"));
    setWindowTitle(StringTable::text(183));
    setWindowIcon(QIcon(QStringLiteral(":/images/128.svg")));
    setModal(true);
    m_tabs = new QTabWidget(this);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("IDOK"));
    m_buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("IDCANCEL"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &COpzionePropertySheet::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &COpzionePropertySheet::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(m_buttons);
}

void COpzionePropertySheet::addPage(OptionsPage* page)
{
    m_pages.push_back(page);
    m_tabs->addTab(page, page->title());
    connect(page, &OptionsPage::refusing, this, [this, page] { m_tabs->setCurrentWidget(page); });
}

void COpzionePropertySheet::accept()
{
    for (OptionsPage* page : m_pages) {
        if (!page->commit())
            return;
    }
    QDialog::accept();
}

void COpzionePropertySheet::reject()
{
    for (OptionsPage* page : m_pages)
        page->cancel();
    QDialog::reject();
}
