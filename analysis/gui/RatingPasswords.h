#pragma once

#include "analysis/RatingSettings.h"

#include <QDialog>

class QLineEdit;

namespace lurvik {

// The prompts of askPassword, by mode.
constexpr int kPromptRatingsPassword = 1; // asks for the administrator password
// Modes 2 and 3 are kPromptBlockedWithOverride and kPromptBlockedNotice (RatingEvaluation.h).

// "Enter Ratings Password" in its three forms; mode 3 has no password box and only an "OK" that
// counts as Cancel.
class RatingPasswordDialog : public QDialog {
    Q_OBJECT
public:
    RatingPasswordDialog(int mode, QWidget* owner);
    // Null in mode 3.
    QLineEdit* passwordEdit() const { return m_password; }

private:
    QLineEdit* m_password = nullptr;
};

// "Enter Ratings Password" for a new password, typed twice; OK closes it only when both agree and
// are not empty, and then the password is already set and stored.
class SetPasswordDialog : public QDialog {
    Q_OBJECT
public:
    SetPasswordDialog(RatingSettings& ratings, QWidget* owner);
    QLineEdit* newEdit() const { return m_new; }
    QLineEdit* confirmedEdit() const { return m_confirmed; }

private:
    void tryAccept();

    RatingSettings& m_ratings;
    QLineEdit* m_new;
    QLineEdit* m_confirmed;
};

// Shows the prompt of mode modally and keeps what was typed in enteredPassword (emptied on
// Cancel). 1 when it is the administrator password, case and all; a wrong one is told so. With no
// password set every prompt fails.
int askPassword(QWidget* owner, RatingSettings& ratings, int mode);
// 1 when the user set and stored a new password, else 0.
int setPassword(QWidget* owner, RatingSettings& ratings);
// The gate of every ratings change: creates a password when none exists, else asks for it.
// Non-zero when the user may go on.
int requireAdminPassword(QWidget* owner, RatingSettings& ratings);

} // namespace lurvik
