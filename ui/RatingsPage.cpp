#include "RatingsPage.h"

#include "Shell.h"

#include "analysis/RatingSettings.h"
#include "analysis/gui/RatingConfigSheet.h"
#include "analysis/gui/RatingPasswords.h"
#include "platform/gui/PropertySheet.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace lurvik {

RatingsPage::RatingsPage(RatingSettings& ratings, const Settings& settings, PropertySheet& sheet)
    : QWidget(&sheet), m_ratings(ratings), m_settings(settings), m_sheet(sheet),
      m_systemName(new QLabel(this)) {
    m_systemName->setObjectName(QStringLiteral("systemName"));

    auto* layout = new QVBoxLayout(this);
    auto* system = new QFormLayout;
    system->addRow(QStringLiteral("Current Rating System:"), m_systemName);
    layout->addLayout(system);
    m_ratingsOn =
        addSwitch("ratingsOn", QStringLiteral("&Enable the current Rating system"), ratings.ratingsOn, true);
    m_blockViolated = addSwitch("blockViolated",
                                QStringLiteral("&Block pages that would violate the current rating settings"),
                                ratings.blockViolated, true);
    m_markPages =
        addSwitch("markPages", QStringLiteral("&Mark pages that would violate the current rating settings"),
                  ratings.markPages, false);
    m_blockUnrated = addSwitch("blockUnrated", QStringLiteral("Sho&w unrated pages as violated pages"),
                               ratings.blockUnrated, true);
    m_passwordOverride =
        addSwitch("passwordOverride", QStringLiteral("Allow password &override on pages that are blocked"),
                  ratings.passwordOverride, false);
    showSystem();
    connect(m_ratingsOn, &QCheckBox::clicked, this, &RatingsPage::enableSwitches);

    auto* changePassword = new QPushButton(QStringLiteral("Change &Password..."), this);
    changePassword->setObjectName(QStringLiteral("changePassword"));
    connect(changePassword, &QPushButton::clicked, this, [this] {
        if (m_ratings.hasAdminPassword() && !askPassword(this, m_ratings, kPromptRatingsPassword))
            return;
        (void)setPassword(this, m_ratings);
    });
    auto* changeSettings = new QPushButton(QStringLiteral("Change &Settings..."), this);
    changeSettings->setObjectName(QStringLiteral("changeSettings"));
    connect(changeSettings, &QPushButton::clicked, this, [this] {
        if (!requireAdminPassword(this, m_ratings))
            return;
        showRatingConfiguration(this, m_ratings, [this](const QString& address) {
            (void)Shell::openURL(address, nullptr, this, m_settings, m_ratings);
        });
        showSystem();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(changePassword);
    buttons->addWidget(changeSettings);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addStretch();
}

QCheckBox* RatingsPage::addSwitch(const char* name, const QString& text, int state, bool guarded) {
    auto* box = new QCheckBox(text, this);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(state != 0);
    layout()->addWidget(box);
    // clicked, not toggled: putting a refused box back must not count as an edit.
    connect(box, &QCheckBox::clicked, this, [this, box, guarded](bool checked) {
        if (guarded && !requireAdminPassword(this, m_ratings)) {
            box->setChecked(!checked);
            return;
        }
        m_sheet.setChanged();
    });
    return box;
}

void RatingsPage::showSystem() {
    const Str& name = m_ratings.ratingSystem.name;
    bool loaded = !name.isEmpty();
    // Without a rating system there is nothing to enforce, whatever the settings say.
    if (!loaded) {
        m_ratings.ratingsOn = 0;
        m_ratingsOn->setChecked(false);
    }
    m_ratingsOn->setEnabled(loaded);
    m_systemName->setText(loaded ? QString::fromUtf8(name.text(), name.len()) : QStringLiteral("<none>"));
    enableSwitches();
}

void RatingsPage::enableSwitches() {
    bool on = m_ratingsOn->isChecked();
    for (QCheckBox* box : {m_blockViolated, m_markPages, m_blockUnrated, m_passwordOverride})
        box->setEnabled(on);
}

void RatingsPage::apply() {
    m_ratings.ratingsOn = m_ratingsOn->isChecked() ? 1 : 0;
    m_ratings.markPages = m_markPages->isChecked() ? 1 : 0;
    m_ratings.blockUnrated = m_blockUnrated->isChecked() ? 1 : 0;
    m_ratings.passwordOverride = m_passwordOverride->isChecked() ? 1 : 0;
    m_ratings.blockViolated = m_blockViolated->isChecked() ? 1 : 0;
    (void)saveFlags(m_ratings.ratingsOn, m_ratings.markPages, m_ratings.blockUnrated,
                    m_ratings.passwordOverride, m_ratings.blockViolated);
}

} // namespace lurvik
