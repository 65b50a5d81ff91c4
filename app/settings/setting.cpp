// The settings sheet: tabs built on demand, and the apply, OK and Cancel rounds over the pages
// built so far.
#include "setting.h"

#include <QDialogButtonBox>
#include <QIcon>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "help.h"
#include "settings/settings_store.h"

CSetting::CSetting(QWidget* parent, CRecorder* recorder, const CPlayer* player)
    : CSetting(parent, recorder, player, SettingsStore::instance())
{
}

CSetting::CSetting(QWidget* parent, CRecorder* recorder, const CPlayer* player,
                   SettingsStore& store)
    : QDialog(parent), ownContext_(std::make_unique<SettingContext>(store, recorder, player)),
      context_(*ownContext_), pageInfos_(settingPages())
{
    build();
}

CSetting::CSetting(QWidget* parent, SettingContext& context, std::span<const SettingPageInfo> pages)
    : QDialog(parent), context_(context), pageInfos_(pages)
{
    build();
}

CSetting::~CSetting()
{
    // Pages go in reverse order, each while the context they use still exists.
    for (auto it = pages_.rbegin(); it != pages_.rend(); ++it)
        delete *it;
}

void CSetting::build()
{
    setWindowTitle(QStringLiteral("Settings"));
    setModal(true);
    pages_.assign(pageInfos_.size(), nullptr);

    tabs_ = new QTabWidget(this);
    DialogUnits units(font());
    for (const SettingPageInfo& info : pageInfos_) {
        auto* holder = new QWidget;
        holder->setMinimumSize(units.size(info.widthDlu, info.heightDlu));
        holders_.push_back(holder);
        tabs_->addTab(holder, QString::fromUtf8(info.caption));
    }
    tabs_->setCurrentIndex(0);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                        QDialogButtonBox::Apply | QDialogButtonBox::Help,
                                    this);
    // Plain text buttons: a desktop without an icon theme falls back to stock pictures that
    // read wrongly (a red cross on Help).
    for (QAbstractButton* button : buttons_->buttons())
        button->setIcon(QIcon());
    applyButton()->setEnabled(false);
    connect(buttons_, &QDialogButtonBox::accepted, this, &CSetting::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &CSetting::reject);
    connect(applyButton(), &QPushButton::clicked, this, [this] {
        if (applyPages())
            updateApply();
    });
    connect(buttons_, &QDialogButtonBox::helpRequested, this, &CSetting::help);
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        if (active_ >= 0)
            activate(index);
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons_);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CSetting::setSaveButtonHandler(std::function<void(int)> handler)
{
    context_.setSaveButton = std::move(handler);
}

void CSetting::setHelpHandler(std::function<void(const std::string&)> handler)
{
    context_.showHelp = std::move(handler);
}

CSettingPage* CSetting::page(int index) const
{
    return index >= 0 && index < pageCount() ? pages_[index] : nullptr;
}

CSettingPage* CSetting::activePage() const
{
    return page(active_);
}

QPushButton* CSetting::okButton() const
{
    return buttons_->button(QDialogButtonBox::Ok);
}

QPushButton* CSetting::cancelButton() const
{
    return buttons_->button(QDialogButtonBox::Cancel);
}

QPushButton* CSetting::applyButton() const
{
    return buttons_->button(QDialogButtonBox::Apply);
}

QPushButton* CSetting::helpButton() const
{
    return buttons_->button(QDialogButtonBox::Help);
}

void CSetting::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The first tab's page is built when the sheet first shows, never earlier.
    if (active_ < 0 && !closing_ && pageCount() > 0)
        activate(tabs_->currentIndex());
}

void CSetting::activate(int index)
{
    if (index == active_ || index < 0 || index >= pageCount())
        return;
    if (CSettingPage* old = activePage())
        old->OnKillActive();
    active_ = index;
    if (!pages_[index]) {
        const SettingPageInfo& info = pageInfos_[index];
        CSettingPage* page = info.create(context_, info, holders_[index]);
        page->setModifiedHandler([this] { updateApply(); });
        pages_[index] = page;
        page->show();
    }
    pages_[index]->OnSetActive();
    updateApply();
}

bool CSetting::applyPages()
{
    for (CSettingPage* page : pages_) {
        if (page && !page->OnApply())
            return false;
    }
    for (CSettingPage* page : pages_) {
        if (page)
            page->SetModified(false);
    }
    return true;
}

void CSetting::updateApply()
{
    bool modified = false;
    for (CSettingPage* page : pages_)
        modified = modified || (page && page->modified());
    applyButton()->setEnabled(modified);
}

void CSetting::help()
{
    CSettingPage* page = activePage();
    if (!page)
        return;
    std::string topic = page->info().helpTopic;
    if (context_.showHelp)
        context_.showHelp(topic);
    else
        showHelp(QString::fromStdString(topic), this);
}

void CSetting::accept()
{
    if (closing_ || !applyPages())
        return;
    closing_ = true;
    for (CSettingPage* page : pages_) {
        if (page)
            page->OnOK();
    }
    QDialog::accept();
}

void CSetting::reject()
{
    if (closing_)
        return;
    closing_ = true;
    for (CSettingPage* page : pages_) {
        if (page)
            page->OnCancel();
    }
    QDialog::reject();
}
