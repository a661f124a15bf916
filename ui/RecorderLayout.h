#pragma once

#include <QHash>
#include <QIcon>
#include <QList>
#include <QPixmap>

class LevelMeter;
class PositionBar;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSlider;
class QAbstractItemModel;
class QTreeView;
class QWidget;
class SkinButton;
class SkinStatic;

/// Builds every control of the Recorder window as a child of the given window, at fixed
/// pixel positions over the window's background picture, with its objectName set to its
/// ControlId name, its pictures, borders, colours, labels and tooltips. It wires no
/// behaviour: the window owner connects signals and shows, hides, enables and fills controls.
/// Controls start visible and enabled, except the Join button, which has no place of its own
/// and stays hidden.
class RecorderLayout {
public:
    static constexpr int WindowWidth = 470;
    static constexpr int WindowHeight = 618;
    /// Columns of the recording list.
    static constexpr int ListColumns = 9;
    /// Characters allowed in the name edit (and the most the notes should hold).
    static constexpr int MaxTextLength = 260;

    /// Creates the controls inside `window` and fixes its size to 470 x 618; sets its title
    /// (string 354), its icon (picture 128) and its font ("Tahoma" 8).
    explicit RecorderLayout(QWidget* window);

    /// The control with this id (ControlId), or null.
    QWidget* control(int id) const;
    /// Every control id the layout created, in ascending order.
    QList<int> ids() const;

    /// The skinned button with this id, or null when `id` is not a button.
    SkinButton* button(int id) const;
    /// The skinned label with this id (display labels, time displays, captions), or null.
    SkinStatic* label(int id) const;

    /// The recording list (1040): several rows selectable, full-row selection; it shows the
    /// model given to setListModel.
    QTreeView* list() const { return m_list; }
    /// Shows `model` (9 columns, not owned) in the list, with the columns' widths.
    void setListModel(QAbstractItemModel* model);
    /// The name edit (1119): read-only as created, 260 characters at most.
    QLineEdit* nameEdit() const { return m_nameEdit; }
    /// The notes edit (1120): read-only as created.
    QPlainTextEdit* notesEdit() const { return m_notesEdit; }
    /// The date field (1122) and the duration field (1210), read-only.
    QLineEdit* dateField() const { return m_dateField; }
    QLineEdit* durationField() const { return m_durationField; }
    /// The count label (1000, "%d Rec", filled by the owner) and the spare list label (1123).
    QLabel* countLabel() const { return m_countLabel; }
    LevelMeter* levelMeter() const { return m_levelMeter; }
    PositionBar* positionBar() const { return m_positionBar; }
    /// The volume slider (1039); the owner sets its range and position.
    QSlider* volumeSlider() const { return m_volumeSlider; }

    /// The window's background picture (132), 470 x 618, to be drawn unscaled at (0, 0).
    QPixmap background() const { return m_background; }
    /// Height of the window collapsed to its upper part: the Record button's bottom + 10.
    int collapsedHeight() const;

    /// Row image of the list: 0 playing (297), 1 being recorded (298), 2 ordinary (296),
    /// 3 protected (332); a null pixmap for any other index.
    static QPixmap rowImage(int image);
    /// The application icon (128).
    static QIcon applicationIcon();

private:
    SkinButton* addButton(int id, const char* name, int x, int y);
    SkinStatic* addLabel(int id, const char* name, const QRect& geometry);
    void add(int id, const char* name, QWidget* widget);
    void createHeader();
    void createDisplay();
    void createProperties();
    void createTransport();
    void createList();
    void createToolBand();

    QWidget* m_window;
    QHash<int, QWidget*> m_controls;
    QPixmap m_background;
    QTreeView* m_list = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QPlainTextEdit* m_notesEdit = nullptr;
    QLineEdit* m_dateField = nullptr;
    QLineEdit* m_durationField = nullptr;
    QLabel* m_countLabel = nullptr;
    QLabel* m_listStatus = nullptr;
    LevelMeter* m_levelMeter = nullptr;
    PositionBar* m_positionBar = nullptr;
    QSlider* m_volumeSlider = nullptr;
};
