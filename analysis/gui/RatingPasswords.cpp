#include "RatingPasswords.h"

#include "analysis/RatingEvaluation.h"
#include "platform/gui/QtText.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace lurvik {

namespace {

// As much as the prompts have always taken of a password.
constexpr int kPasswordLength = 254;

QLineEdit* passwordBox(QWidget* owner) {
    auto* box = new QLineEdit(owner);
    box->setEchoMode(QLineEdit::Password);
    box->setMaxLength(kPasswordLength);
    return box;
}

QLabel* wrappedLabel(const QString& text, QWidget* owner) {
    auto* label = new QLabel(text, owner);
    label->setWordWrap(true);
    return label;
}

// A narrow dialog has its caption cut by the window frame; the frame's buttons and margins are
// allowed for with room to spare, since their width is the window manager's.
void keepTitleWhole(QWidget* dialog) {
    dialog->setMinimumWidth(dialog->fontMetrics().horizontalAdvance(dialog->windowTitle()) + 160);
}

} // namespace

RatingPasswordDialog::RatingPasswordDialog(int mode, QWidget* owner) : QDialog(owner) {
    auto* layout = new QVBoxLayout(this);
    const QString blocked = QStringLiteral("This page is blocked by the current ratings system's settings.");
    if (mode == kPromptBlockedNotice) {
        setWindowTitle(QStringLiteral("This page is blocked..."));
        layout->addWidget(wrappedLabel(blocked, this));
        layout->addWidget(
            wrappedLabel(QStringLiteral("You have Lurvik configured to not let you override the "
                                        "ratings block, so it cannot be displayed or downloaded."),
                         this));
        layout->addWidget(wrappedLabel(
            QStringLiteral(
                "To modify this setting, change the Ratings options, located on the Configuration dialog."),
            this));
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
        // Nothing was asked, so there is nothing to accept.
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::reject);
        layout->addWidget(buttons);
        return;
    }
    setWindowTitle(QStringLiteral("Enter Ratings Password"));
    keepTitleWhole(this);
    if (mode == kPromptBlockedWithOverride) {
        layout->addWidget(wrappedLabel(blocked, this));
        layout->addWidget(
            wrappedLabel(QStringLiteral("You can override the ratings block by entering the ratings "
                                        "administrative password now.  This does not disable the "
                                        "rating system, but it will display this page."),
                         this));
    } else {
        layout->addWidget(
            wrappedLabel(QStringLiteral("Please enter the ratings administrator password:"), this));
    }
    m_password = passwordBox(this);
    layout->addWidget(m_password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

SetPasswordDialog::SetPasswordDialog(RatingSettings& ratings, QWidget* owner)
    : QDialog(owner), m_ratings(ratings), m_new(passwordBox(this)), m_confirmed(passwordBox(this)) {
    setWindowTitle(QStringLiteral("Enter Ratings Password"));
    keepTitleWhole(this);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("New Password:"), m_new);
    form->addRow(QStringLiteral("Confirmed password:"), m_confirmed);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &SetPasswordDialog::tryAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

void SetPasswordDialog::tryAccept() {
    const QString caption = QStringLiteral("Lurvik - Error");
    if (m_new->text().isEmpty()) {
        QMessageBox::warning(this, caption, QStringLiteral("You did not enter a password!"));
        return;
    }
    if (m_new->text() != m_confirmed->text()) {
        QMessageBox::warning(this, caption,
                             QStringLiteral("The new password and confirmed password do not match."));
        m_new->clear();
        m_confirmed->clear();
        return;
    }
    m_ratings.enteredPassword = toStr(m_new->text());
    m_ratings.setAdminPassword(m_ratings.enteredPassword);
    (void)saveFileAndPassword(m_ratings.ratingsFile, m_ratings.adminPasswordHash);
    accept();
}

int askPassword(QWidget* owner, RatingSettings& ratings, int mode) {
    RatingPasswordDialog dialog(mode, owner);
    bool ok = dialog.exec() == QDialog::Accepted && dialog.passwordEdit();
    ratings.enteredPassword = ok ? toStr(dialog.passwordEdit()->text()) : Str();
    if (ratings.enteredPassword.isEmpty())
        return 0;
    if (ratings.isAdminPassword(ratings.enteredPassword))
        return 1;
    QMessageBox::critical(
        owner, QStringLiteral("Lurvik - Wrong Password!"),
        QStringLiteral("You have entered the wrong password!\n\nRemember, passwords are case "
                       "sensitive."));
    return 0;
}

int setPassword(QWidget* owner, RatingSettings& ratings) {
    SetPasswordDialog dialog(ratings, owner);
    if (dialog.exec() != QDialog::Accepted)
        ratings.enteredPassword.clear();
    return ratings.enteredPassword.isEmpty() ? 0 : 1;
}

int requireAdminPassword(QWidget* owner, RatingSettings& ratings) {
    if (!ratings.hasAdminPassword())
        return setPassword(owner, ratings);
    return askPassword(owner, ratings, kPromptRatingsPassword);
}

} // namespace lurvik
