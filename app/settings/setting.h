// The settings sheet: a modal dialog captioned "Settings" with one tab per page of
// settingPages() and OK, Cancel, Apply and Help.
//
// The main window opens it from its Settings button and refreshes itself when it returns:
//
//     CSetting sheet(this, recorder, player);
//     sheet.setSaveButtonHandler([this](int state) { /* Save button := state (4 or 5) */ });
//     sheet.setHelpHandler([this](const std::string& topic) { /* show the help topic */ });
//     sheet.exec();
//     // re-read Encode, refresh the format caption, set the Save button from the auto-save mode
//
// The sheet always opens on its first tab. A page is built the first time its tab is shown;
// OK and Apply save every page built so far (and no other); Apply is enabled while a page is
// marked modified; Cancel and the close box save nothing (values a page writes at once stay).
// The Auto Save page's Apply sets the Save button through the save-button handler. Without a
// help handler, Help opens the page's help with the program's help display (help.h).
#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "setting_page.h"

class QDialogButtonBox;
class QPushButton;
class QTabWidget;

class CSetting : public QDialog {
public:
    // The sheet of the main window; the recorder and the player may be null.
    CSetting(QWidget* parent, CRecorder* recorder, const CPlayer* player = nullptr);
    CSetting(QWidget* parent, CRecorder* recorder, const CPlayer* player, SettingsStore& store);
    // A sheet over a context of the caller's, with the given pages (tests).
    CSetting(QWidget* parent, SettingContext& context,
             std::span<const SettingPageInfo> pages = settingPages());
    ~CSetting() override;

    void setSaveButtonHandler(std::function<void(int buttonState)> handler);
    void setHelpHandler(std::function<void(const std::string& topic)> handler);

    int pageCount() const { return static_cast<int>(pages_.size()); }
    // The page of a tab, or null while that tab has not been shown.
    CSettingPage* page(int index) const;
    CSettingPage* activePage() const;
    int activeIndex() const { return active_; }
    QTabWidget* tabs() const { return tabs_; }
    QPushButton* okButton() const;
    QPushButton* cancelButton() const;
    QPushButton* applyButton() const;
    QPushButton* helpButton() const;

    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void activate(int index);
    bool applyPages();
    void updateApply();
    void help();

    std::unique_ptr<SettingContext> ownContext_;
    SettingContext& context_;
    std::span<const SettingPageInfo> pageInfos_;
    std::vector<CSettingPage*> pages_;
    std::vector<QWidget*> holders_;
    QTabWidget* tabs_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    int active_ = -1;
    bool closing_ = false;
};
