#include "ui/RecorderLayout.h"

#include "res/StringTable.h"
#include "ui/ControlIds.h"
#include "ui/LevelMeter.h"
#include "ui/PositionBar.h"
#include "ui/SkinButton.h"
#include "ui/SkinStatic.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTreeView>

#include <algorithm>
#include <array>

// Gives a control id together with its name, so that each objectName is its constant's name.
#define CONTROL(name) ControlId::name, #name

namespace {

const QString Face = QStringLiteral("Tahoma");
const QColor White(0xff, 0xff, 0xff);       // mask colour of every button picture
const QColor Panel(214, 234, 255);          // display panel and its fields
const QColor Band(0xeb, 0xeb, 0xeb);        // lower half of the window
const QColor BandDark(0xd2, 0xd2, 0xd2);    // Tools / Info block
const QColor DisplayText(0xbe, 0xbe, 0xbe); // idle display labels
const QColor NotesText(0x32, 0x32, 0x32);
const QColor FieldText(0x96, 0x96, 0x96); // date and duration fields

// Where the list's tool buttons start and how far apart they are.
constexpr int ToolButtonX = 6;
constexpr int ToolButtonStep = 74;
constexpr int ToolButtonY = 577;

QString text(int id)
{
    return StringTable::text(id);
}

QString zeroTime()
{
    return QString::asprintf("%02d:%02d", 0, 0);
}

const char* const EditStyle =
    "QLineEdit, QPlainTextEdit { background: #d6eaff; border: 1px solid #a9c9ec;"
    " border-radius: 4px; padding: 1px 4px; selection-background-color: #2b7de1; }"
    "QLineEdit:focus, QPlainTextEdit:focus { border-color: #2b7de1; }"
    "QLineEdit:disabled, QPlainTextEdit:disabled { border-color: #c4d9ef; }";

const char* const FieldStyle =
    "QLineEdit { background: transparent; border: none; padding: 0px 5px; }";

const char* const SliderStyle =
    "QSlider { background: transparent; }"
    "QSlider::groove:horizontal { height: 4px; background: #fdfeff; border: 1px solid #bcd6f1;"
    " border-radius: 3px; }"
    "QSlider::sub-page:horizontal { background: #2b7de1; border: 1px solid #2b7de1;"
    " border-radius: 3px; }"
    "QSlider::handle:horizontal { width: 12px; height: 12px; margin: -5px 0px; border-radius: 7px;"
    " background: #fdfeff; border: 1px solid #2b7de1; }"
    "QSlider::handle:horizontal:hover { background: #e3effc; }"
    "QSlider::sub-page:horizontal:disabled { background: #c9d3dd; border-color: #c9d3dd; }"
    "QSlider::handle:horizontal:disabled { border-color: #b3bcc6; }";

const char* const ListStyle =
    "QTreeView { background: #ffffff; alternate-background-color: #f6f9fc; border: none;"
    " outline: 0; color: #22303e; }"
    "QTreeView::item { height: 20px; border: none; }"
    "QTreeView::item:selected { background: #cfe3fa; color: #14202c; }"
    "QHeaderView::section { background: #f3f6f9; color: #4a5b6c; border: none;"
    " border-right: 1px solid #e0e5ea; border-bottom: 1px solid #d3dae1; padding: 3px 5px; }"
    "QScrollBar:horizontal { height: 10px; background: #f3f6f9; margin: 0px; border: none; }"
    "QScrollBar:vertical { width: 10px; background: #f3f6f9; margin: 0px; border: none; }"
    "QScrollBar::handle { background: #c5ced8; border-radius: 4px; margin: 2px; }"
    "QScrollBar::handle:hover { background: #a9b6c4; }"
    "QScrollBar::handle:horizontal { min-width: 24px; }"
    "QScrollBar::handle:vertical { min-height: 24px; }"
    "QScrollBar::add-line, QScrollBar::sub-line { width: 0px; height: 0px; border: none; }"
    "QScrollBar::add-page, QScrollBar::sub-page { background: none; }"
    "QAbstractScrollArea::corner { background: #f3f6f9; border: none; }";

// One skinned button of the set-up table.
struct ButtonSetup {
    int id;
    const char* name;
    int x;
    int y;
    const char* caption; // picture name; four states unless `single`
    bool single;
    int border;
    QColor background; // invalid: the window's background shows through
    int tooltip;       // string id, 0 for none
    bool frame;
    int label; // string id of the caption label, 0 for none
    SkinButton::Placement placement;
    int offset;
};

} // namespace

RecorderLayout::RecorderLayout(QWidget* window) : m_window(window)
{
    window->setFixedSize(WindowWidth, WindowHeight);
    window->setWindowTitle(text(354));
    window->setWindowIcon(applicationIcon());
    window->setFont(QFont(Face, 8));
    m_background = QPixmap::fromImage(SkinButton::loadImage(QStringLiteral("132")));

    createHeader();
    createDisplay();
    createProperties();
    createTransport();
    createList();
    createToolBand();
}

QWidget* RecorderLayout::control(int id) const
{
    return m_controls.value(id, nullptr);
}

QList<int> RecorderLayout::ids() const
{
    QList<int> result = m_controls.keys();
    std::sort(result.begin(), result.end());
    return result;
}

SkinButton* RecorderLayout::button(int id) const
{
    return qobject_cast<SkinButton*>(control(id));
}

SkinStatic* RecorderLayout::label(int id) const
{
    return qobject_cast<SkinStatic*>(control(id));
}

int RecorderLayout::collapsedHeight() const
{
    const QWidget* record = control(ControlId::Record);
    return record->geometry().bottom() + 1 + 10;
}

QPixmap RecorderLayout::rowImage(int image)
{
    // Drawn once: every fill of the list asks for one per row.
    static const std::array<QPixmap, 4> images = [] {
        std::array<QPixmap, 4> drawn;
        const char* const names[] = {"297", "298", "296", "332"};
        for (size_t i = 0; i < drawn.size(); ++i)
            drawn[i] = QPixmap::fromImage(SkinButton::loadImage(QString::fromLatin1(names[i])));
        return drawn;
    }();
    if (image < 0 || image > 3)
        return {};
    return images[static_cast<size_t>(image)];
}

QIcon RecorderLayout::applicationIcon()
{
    return QIcon(QPixmap::fromImage(SkinButton::loadImage(QStringLiteral("128"))));
}

void RecorderLayout::add(int id, const char* name, QWidget* widget)
{
    widget->setObjectName(QString::fromLatin1(name));
    m_controls.insert(id, widget);
}

SkinButton* RecorderLayout::addButton(int id, const char* name, int x, int y)
{
    auto* button = new SkinButton(id, m_window);
    add(id, name, button);
    button->move(x, y);
    return button;
}

SkinStatic* RecorderLayout::addLabel(int id, const char* name, const QRect& geometry)
{
    auto* label = new SkinStatic(m_window);
    add(id, name, label);
    label->setGeometry(geometry);
    label->setSingleLine(true);
    return label;
}

namespace {

void applySetup(SkinButton* button, const ButtonSetup& setup)
{
    const QString caption = QString::fromLatin1(setup.caption);
    if (setup.single)
        button->loadBitmaps(caption, caption, caption, caption);
    else
        button->loadBitmaps(caption);
    button->setMaskColor(White);
    button->setBorder(setup.border);
    button->fit();
    button->setBackgroundColor(setup.background);
    button->setFrame(setup.frame);
    if (setup.tooltip != 0)
        button->setTip(text(setup.tooltip));
    if (setup.label != 0) {
        button->createCaptionLabel(text(setup.label), setup.placement, setup.offset);
        button->setCaptionFont(Face, 8);
    }
}

} // namespace

void RecorderLayout::createHeader()
{
    using P = SkinButton::Placement;
    const ButtonSetup buttons[] = {
        {CONTROL(Options), 350, 6, "IMPOSTAZIONI", false, 1, {}, 55, true, 220, P::BottomBand, 0},
        {CONTROL(Help), 408, 6, "HELP", false, 1, {}, 308, true, 307, P::BottomBand, 0},
    };
    for (const ButtonSetup& setup : buttons)
        applySetup(addButton(setup.id, setup.name, setup.x, setup.y), setup);
}

void RecorderLayout::createDisplay()
{
    // The clock: "REC 00:00", digits bold, on the panel colour.
    struct Display {
        int id;
        const char* name;
        QRect geometry;
        QString text;
        int points;
        bool bold;
        SkinStatic::Alignment alignment;
    };
    const Display displays[] = {
        {CONTROL(RecLabel), QRect(24, 77, 40, 22), text(5), 11, false, SkinStatic::Left},
        {CONTROL(ClockMinutes), QRect(64, 77, 30, 22), text(6), 11, true, SkinStatic::Right},
        {CONTROL(ClockColon), QRect(94, 77, 10, 22), text(231), 11, true, SkinStatic::Centre},
        {CONTROL(ClockSeconds), QRect(104, 77, 30, 22), text(6), 11, true, SkinStatic::Left},
        {CONTROL(ModeLabel), QRect(24, 108, 58, 16), QString(), 8, true, SkinStatic::Left},
        {CONTROL(PlayTime), QRect(84, 108, 58, 16), zeroTime(), 9, false, SkinStatic::Right},
        {CONTROL(PlayPosition), QRect(160, 99, 42, 16), zeroTime(), 9, false, SkinStatic::Right},
        {CONTROL(PlayTotal), QRect(411, 99, 44, 16), zeroTime(), 9, false, SkinStatic::Left},
    };
    for (const Display& d : displays) {
        SkinStatic* label = addLabel(d.id, d.name, d.geometry);
        label->setText(d.text);
        label->setFont(Face, d.points, d.bold);
        label->setAlignment(d.alignment);
        label->setTextColor(DisplayText);
        label->setBackgroundColor(Panel);
    }

    SkinButton* status = addButton(CONTROL(StatusIcon), 178, 72);
    applySetup(status, {CONTROL(StatusIcon), 178, 72, "144", true, 1, Panel, 0, false, 0,
                        SkinButton::Placement::RightOf, 0});

    m_levelMeter = new LevelMeter(m_window);
    add(CONTROL(LevelMeter), m_levelMeter);
    m_levelMeter->setGeometry(206, 74, 201, 17);

    m_positionBar = new PositionBar(m_window);
    add(CONTROL(PositionBar), m_positionBar);
    m_positionBar->setGeometry(206, 102, 201, 10);

    SkinStatic* volume = addLabel(CONTROL(VolumeCaption), QRect(160, 121, 46, 16));
    volume->setText(text(227));
    volume->setFont(Face, 8);
    volume->setTextColor(QColor(0x4a, 0x5b, 0x6c));
    volume->setTransparent(true);

    m_volumeSlider = new QSlider(Qt::Horizontal, m_window);
    add(CONTROL(VolumeSlider), m_volumeSlider);
    m_volumeSlider->setAccessibleName(text(227));
    m_volumeSlider->setGeometry(206, 119, 150, 18);
    m_volumeSlider->setStyleSheet(QString::fromLatin1(SliderStyle));
    m_volumeSlider->setCursor(Qt::PointingHandCursor);
}

void RecorderLayout::createProperties()
{
    m_nameEdit = new QLineEdit(m_window);
    add(CONTROL(NameEdit), m_nameEdit);
    m_nameEdit->setGeometry(20, 154, 360, 24);
    m_nameEdit->setMaxLength(MaxTextLength);
    m_nameEdit->setReadOnly(true);
    m_nameEdit->setFont(QFont(Face, 9, QFont::Bold));
    m_nameEdit->setStyleSheet(QString::fromLatin1(EditStyle));

    m_dateField = new QLineEdit(m_window);
    add(CONTROL(DateField), m_dateField);
    m_dateField->setGeometry(20, 181, 220, 18);
    m_durationField = new QLineEdit(m_window);
    add(CONTROL(DurationField), m_durationField);
    m_durationField->setGeometry(244, 181, 136, 18);
    for (QLineEdit* field : {m_dateField, m_durationField}) {
        field->setReadOnly(true);
        field->setFocusPolicy(Qt::NoFocus);
        field->setFrame(false);
        field->setStyleSheet(QString::fromLatin1(FieldStyle));
        QPalette palette = field->palette();
        palette.setColor(QPalette::Text, FieldText);
        palette.setColor(QPalette::Base, Panel);
        field->setPalette(palette);
    }

    m_notesEdit = new QPlainTextEdit(m_window);
    add(CONTROL(NotesEdit), m_notesEdit);
    m_nameEdit->setAccessibleName(text(99));
    m_dateField->setAccessibleName(text(100));
    m_durationField->setAccessibleName(text(104));
    m_notesEdit->setAccessibleName(text(103));
    m_notesEdit->setGeometry(20, 203, 360, 75);
    m_notesEdit->setReadOnly(true);
    m_notesEdit->setStyleSheet(QString::fromLatin1(EditStyle) +
                               QStringLiteral("QPlainTextEdit { color: #323232; }"));
    QPalette notes = m_notesEdit->palette();
    notes.setColor(QPalette::Text, NotesText);
    m_notesEdit->setPalette(notes);

    using P = SkinButton::Placement;
    const ButtonSetup buttons[] = {
        {CONTROL(ModifyInfo), 386, 155, "MODIFICAINFO", false, 0, {}, 444, false, 0, P::RightOf, 0},
        {CONTROL(SaveInfo), 410, 151, "SALVA", false, 8, {}, 328, true, 0, P::RightOf, 0},
        {CONTROL(NoteDisplay), 386, 203, "NOTEDISPLAY", true, 1, Panel, 444, false, 0, P::RightOf,
         0},
    };
    for (const ButtonSetup& setup : buttons)
        applySetup(addButton(setup.id, setup.name, setup.x, setup.y), setup);
}

void RecorderLayout::createTransport()
{
    using P = SkinButton::Placement;
    constexpr int y = 295;
    const ButtonSetup buttons[] = {
        {CONTROL(Record), 18, y, "REGISTRA", false, 0, {}, 34, false, 0, P::RightOf, 0},
        {CONTROL(AutoRecord), 62, y, "REG_AUTO", false, 0, {}, 35, false, 0, P::RightOf, 0},
        {CONTROL(StopRecord), 106, y, "STOPREC", false, 0, {}, 37, false, 0, P::RightOf, 0},
        {CONTROL(FastRewind), 166, y, "INDIETROVELOCE", false, 0, {}, 49, false, 0, P::RightOf, 0},
        {CONTROL(Play), 210, y, "PLAYREC", false, 0, {}, 45, false, 0, P::RightOf, 0},
        {CONTROL(Pause), 254, y, "PAUSA", false, 0, {}, 0, false, 0, P::RightOf, 0},
        {CONTROL(StopPlay), 298, y, "STOPPLAY", false, 0, {}, 46, false, 0, P::RightOf, 0},
        {CONTROL(FastForward), 342, y, "AVANTIVELOCE", false, 0, {}, 50, false, 0, P::RightOf, 0},
        {CONTROL(Reduce), 426, 303, "UP", true, 1, {}, 445, false, 0, P::RightOf, 0},
    };
    for (const ButtonSetup& setup : buttons)
        applySetup(addButton(setup.id, setup.name, setup.x, setup.y), setup);
    button(ControlId::FastForward)->setRepeat(true);
    button(ControlId::FastRewind)->setRepeat(true);
    // The only transport button without a tip still needs a name for screen readers.
    button(ControlId::Pause)->setAccessibleName(text(151));
}

void RecorderLayout::createList()
{
    SkinStatic* caption = addLabel(CONTROL(ListCaption), QRect(14, 352, 200, 16));
    caption->setText(text(226));
    caption->setFont(Face, 8, true);
    caption->setTextColor(QColor(0x34, 0x49, 0x5e));
    caption->setTransparent(true);

    m_listStatus = new QLabel(m_window);
    add(CONTROL(ListStatus), m_listStatus);
    m_countLabel = new QLabel(m_window);
    add(CONTROL(CountLabel), m_countLabel);
    m_listStatus->setGeometry(216, 352, 150, 16);
    m_countLabel->setGeometry(370, 352, 90, 16);
    m_countLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QLabel* label : {m_listStatus, m_countLabel}) {
        label->setAutoFillBackground(true);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, Band);
        palette.setColor(QPalette::WindowText, QColor(0x5d, 0x71, 0x86));
        label->setPalette(palette);
    }

    m_list = new QTreeView(m_window);
    m_list->setAccessibleName(text(226));
    add(CONTROL(RecordingList), m_list);
    m_list->setGeometry(8, 372, 454, 184);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAllColumnsShowFocus(true);
    m_list->setIconSize(QSize(18, 18));
    m_list->setSortingEnabled(false);
    m_list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->header()->setSectionsMovable(true);
    m_list->header()->setSectionsClickable(true);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_list->setStyleSheet(QString::fromLatin1(ListStyle));
}

void RecorderLayout::setListModel(QAbstractItemModel* model)
{
    m_list->setModel(model);
    const int widths[ListColumns] = {22, 135, 70, 60, 110, 60, 70, 60, 120};
    for (int column = 0; column < ListColumns; ++column)
        m_list->setColumnWidth(column, widths[column]);
}

void RecorderLayout::createToolBand()
{
    using P = SkinButton::Placement;
    const int y = ToolButtonY;
    auto x = [](int index) { return ToolButtonX + index * ToolButtonStep; };
    const ButtonSetup buttons[] = {
        {CONTROL(Find), x(0), y, "CERCA", false, 1, Band, 39, false, 215, P::RightOf, 24},
        {CONTROL(Delete), x(1), y, "ELIMINA", false, 1, Band, 40, false, 216, P::RightOf, 24},
        {CONTROL(Modify), x(2), y, "MODIFICA", false, 1, Band, 444, false, 434, P::RightOf, 24},
        {CONTROL(Send), x(3), y, "SEND", false, 1, Band, 41, false, 218, P::RightOf, 24},
        {CONTROL(Protect), x(4), y, "PROTEGGI", false, 1, Band, 42, false, 219, P::RightOf, 24},
        {CONTROL(Tools), 383, 570, "SETTINGS", false, 0, BandDark, 0, false, 435, P::Below, 25},
        {CONTROL(Info), 423, 570, "INFO", false, 0, BandDark, 0, false, 433, P::Below, 25},
    };
    for (const ButtonSetup& setup : buttons)
        applySetup(addButton(setup.id, setup.name, setup.x, setup.y), setup);

    // Joining is offered by the menus; the window has no picture or place for its button.
    SkinButton* join = addButton(CONTROL(Join), 0, 0);
    join->hide();
}
