// The box that offers the takes an earlier run left in the temporary folder (the program was
// killed, or a take was kept at exit): one list of them, each with its name, encoding, length and
// when it was recorded, and Save (into the save folder under an auto-save name), Save As, Open
// (to listen in the window) and Discard. Closing the box keeps every take where it is, to be
// offered again at the next start; nothing is stored about it.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

#include <functional>
#include <string>

#include "save_as_transfer.h"
#include "settings/settings_store.h"
#include "take_recovery.h"

class QPushButton;
class QTreeWidget;

class RecoveryBox : public QDialog {
    Q_OBJECT
public:
    // What the box asks of the window and of the user.
    struct Services {
        // The name to save under (the dialog asks before overwriting); empty on Cancel.
        std::function<QString(QWidget* parent, const QString& folder, const QString& filter)>
            saveFile;
        // Overwrite question for a name the save dialog did not see (an extension was appended).
        std::function<bool(QWidget* parent, const QString& path)> confirmOverwrite;
        // A message with the information (or error) icon, captioned as the program's others.
        std::function<QWidget*(QWidget* parent, const QString& text, bool error)> tell;
        // Opens a file in the window and plays it.
        std::function<void(const QString& path)> listen;
        // The window lets go of a file it has open (before the take is moved or deleted).
        std::function<void(const std::string& path)> letGo;
        // Whether to discard a take; the default asks with Discard and Keep.
        std::function<bool(QWidget* parent, const QString& question)> confirmDiscard;
        saveas::TransferTexts texts;
        saveas::TransferOptions transfer;
    };

    // Looks for interrupted takes (removing empty leftovers on the way); when there are some,
    // returns a box that shows itself once the event loop runs, else null.
    static QPointer<RecoveryBox> offer(QWidget* window, const SettingsStore& store,
                                       const std::string& tempFolder, const std::string& saveFolder,
                                       Services services);

    RecoveryBox(QWidget* window, std::vector<takerecovery::Take> takes, std::string saveFolder,
                std::string prefix, Services services);

    // The takes still listed, in the list's order.
    const std::vector<takerecovery::Take>& takes() const { return takes_; }
    QTreeWidget* list() const { return list_; }
    // The commands of the buttons, on the take selected in the list (tests call them directly).
    void saveSelected();
    void saveSelectedAs();
    void openSelected();
    void discardSelected();
    QPushButton* button(const QString& text) const;
    // Selects the row of the take with that file name; false when none has it.
    bool select(const QString& name);
    // Replaces the question before a take is discarded (tests answer it).
    void setConfirmDiscard(std::function<bool(QWidget*, const QString&)> confirm)
    {
        services_.confirmDiscard = std::move(confirm);
    }

private:
    int selected() const;
    void fill();
    // The take is gone from the temporary folder: its row goes, and the box with the last one.
    void forget(int index);
    void failed(const takerecovery::Take& take, const QString& why);

    std::vector<takerecovery::Take> takes_;
    std::string saveFolder_;
    std::string prefix_;
    Services services_;
    QTreeWidget* list_ = nullptr;
};
