// What every page of the settings sheet shares: the context it works in (the store, the
// recorder, the main window's hooks), the page base class with the calls the sheet makes as a
// page is shown, applied and closed, and the page list entry from which the sheet builds a page.
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>

#include <functional>
#include <span>
#include <string>

#include "window_messages.h"

class CPlayer;
class CRecorder;
class CSettingPage;
class SettingsStore;
class SettingContext;

// One tab of the sheet. The sheet builds the page from its entry the first time the tab is
// shown, never before.
struct SettingPageInfo {
    const char* caption;
    int dialogId;
    // The page template's size in dialog units; the sheet is as large as its largest page.
    int widthDlu;
    int heightDlu;
    // Written to RecorderSetting whenever the page becomes active.
    int recorderSetting;
    const char* helpTopic;
    CSettingPage* (*create)(SettingContext& context, const SettingPageInfo& info, QWidget* parent);
};

// The sheet's pages in tab order (setting_pages.cpp, the one list of pages).
std::span<const SettingPageInfo> settingPages();

template <class Page>
CSettingPage* createSettingPage(SettingContext& context, const SettingPageInfo& info,
                                QWidget* parent)
{
    return new Page(context, info, parent);
}

// What the pages reach outside the sheet. The recorder and the player may be absent. The
// recorder calls are virtual so that tests can watch what a page hands the recorder.
class SettingContext {
public:
    SettingContext(SettingsStore& store, CRecorder* recorder, const CPlayer* player);
    virtual ~SettingContext() = default;

    SettingsStore& store() const { return store_; }
    CRecorder* recorder() const { return recorder_; }
    const CPlayer* player() const { return player_; }

    // The VOX page's use of the recorder.
    virtual void setMeterListenerB(WindowHandle window);
    virtual void setVoxLevel(int level);
    virtual void setVoxHold(int ticks);
    virtual bool voiceActive() const;
    bool recorderPaused() const;
    bool playerFileOpen() const;

    // Sets the main window's Save button to a button state (4 or 5); nothing when unset.
    std::function<void(int buttonState)> setSaveButton;
    // Shows a help topic ("page.htm>window"); the program's help display (help.h) when unset.
    std::function<void(const std::string& topic)> showHelp;

private:
    SettingsStore& store_;
    CRecorder* const recorder_;
    const CPlayer* const player_;
};

// Dialog units of a page template in pixels, from the metrics of the page's font as the
// platform of the templates computes them: x in quarters of the average character width, y in
// eighths of the line height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int x(int units) const;
    int y(int units) const;
    QRect rect(int x, int y, int width, int height) const;
    QSize size(int width, int height) const;

private:
    int baseX_;
    int baseY_;
};

// A page of the sheet. Its constructor builds and fills its controls (the page is created
// when its tab is first shown). Controls that the Parts number carry their number as object
// name, so that control<T>(id) finds them.
class CSettingPage : public QWidget {
public:
    CSettingPage(SettingContext& context, const SettingPageInfo& info, QWidget* parent);

    const SettingPageInfo& info() const { return info_; }

    // The sheet's calls. The page became the active tab: writes RecorderSetting.
    virtual void OnSetActive();
    // The page stops being the active tab.
    virtual void OnKillActive() {}
    // OK or Apply: save the page's settings; false keeps the sheet open.
    virtual bool OnApply() { return true; }
    // The sheet closes with OK, after every shown page has applied.
    virtual void OnOK() {}
    // The sheet closes with Cancel or the close box.
    virtual void OnCancel() {}

    // Marks the page modified (which enables the sheet's Apply) or not.
    void SetModified(bool modified = true);
    bool modified() const { return modified_; }
    // Called by the page whenever its modified mark changes (set by the sheet).
    void setModifiedHandler(std::function<void()> handler) { onModified_ = std::move(handler); }

    template <class T> T* control(int id) const
    {
        return findChild<T*>(QString::number(id), Qt::FindDirectChildrenOnly);
    }

    // The page's own background (its opaque button face), on which its skin controls draw.
    const QImage& panelBackground() const { return background_; }

protected:
    SettingsStore& store() const { return context_.store(); }
    SettingContext& context() const { return context_; }
    const DialogUnits& units() const { return units_; }
    QRect dlu(int x, int y, int width, int height) const
    {
        return units_.rect(x, y, width, height);
    }
    // A control of the page with its number, at a rectangle in dialog units.
    template <class T> T* addControl(int id, const QRect& rect)
    {
        auto* widget = new T(this);
        if (id > 0)
            widget->setObjectName(QString::number(id));
        widget->setGeometry(rect);
        return widget;
    }
    // Makes the texts of the page's labels and buttons fit their rectangles, which the templates
    // sized for a narrower font: a right-aligned label grows to its left, within the page; any
    // other text gets a slightly smaller font. Called once the controls are placed.
    void fitTexts();
    // A message box captioned with the product, with the error icon.
    void showError(const QString& text);
    // Rebuilds the page's own background from its size and palette and hands it to its skin
    // controls; a control not yet made may be passed as null.
    template <class... Controls> void setOwnBackground(Controls*... controls)
    {
        background_ = ownBackground();
        ((controls ? controls->SetBackground(background_) : void()), ...);
    }

private:
    QImage ownBackground() const;

    SettingContext& context_;
    const SettingPageInfo& info_;
    DialogUnits units_;
    QImage background_;
    bool modified_ = false;
    std::function<void()> onModified_;
};

// The caption of the program's message boxes: product name and version text.
QString messageCaption();
