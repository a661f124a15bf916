#pragma once

#include "app/Settings.h"
#include "ui/OptionsPage.h"

#include <QString>

#include <functional>

class MessagePresenter;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QWidget;
class SettingsStore;

/// The Advanced page of the Options sheet: start at log-on, start mode, the recordings folder,
/// the operator, the warning sound and the playback method; "Recreate index". Controls are
/// named after their numbers ("1134"). The folder and file choosers are QFileDialogs shown
/// modally (answerable in tests). UI thread only.
class CDlgImpostazioniAvanzate : public OptionsPage {
    Q_OBJECT

public:
    struct Context {
        /// The program folder (ends with "/"), where the default warning sound lives.
        QString programFolder;
        /// The program the log-on entry starts.
        QString programFile;
        /// The recording list has an index that can be made again.
        bool indexAvailable = false;
        /// Makes the index again (the caller shows the wait cursor and refuses while the list
        /// is in use).
        std::function<void()> recreateIndex;
    };

    /// Reads the page's values from `store` (string 54 when the file cannot be opened) and the
    /// log-on entry. `store` and `messages` outlive the page.
    CDlgImpostazioniAvanzate(SettingsStore& store, MessagePresenter& messages, Context context,
                             QWidget* parent = nullptr);

    QString title() const override;
    bool commit() override;

    /// "Default"-button values (the log-on entry, start as icon and armed on; the warning
    /// sound off, after 15 s, not every 10 s, the program's own sound; the usual player).
    void restoreDefaults();
    /// The extensions a warning sound may have, spelled exactly so.
    static bool warningExtensionAccepted(const QString& file);

private:
    void updateEnabling();
    void chooseFolder();
    void chooseWarningFile();
    /// Shows `stringId` as a refusal and focuses `field`; always false.
    bool refuse(int stringId, QWidget* field);

    SettingsStore& m_store;
    MessagePresenter& m_messages;
    Context m_context;
    Settings m_settings;
    bool m_keyOpened = false;

    QCheckBox* m_logOn = nullptr;
    QCheckBox* m_startInTray = nullptr;
    QCheckBox* m_startArmed = nullptr;
    QLineEdit* m_folder = nullptr;
    QLineEdit* m_operator = nullptr;
    QCheckBox* m_warning = nullptr;
    QCheckBox* m_warningAfter = nullptr;
    QLineEdit* m_warningAfterSeconds = nullptr;
    QCheckBox* m_warningEvery = nullptr;
    QLineEdit* m_warningEverySeconds = nullptr;
    QLineEdit* m_warningFile = nullptr;
    QCheckBox* m_alternativePlaying = nullptr;
    QPushButton* m_recreateIndex = nullptr;
    QList<QWidget*> m_warningControls;
};
