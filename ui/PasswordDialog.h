#pragma once

#include "core/Str.h"

#include <QDialog>

class QLineEdit;

namespace lurvik {

// "Enter network password": a user name and password for a server's realm.
class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    PasswordDialog(const QString& realm, QWidget* parent = nullptr);

    QLineEdit* userEdit() const { return m_user; }
    QLineEdit* passwordEdit() const { return m_password; }

    // The agent pool's onNeedPassword: 0 with both filled when the user pressed OK, else 1, after
    // which the pool refuses the realm for the rest of the run.
    static int askNetworkPassword(QWidget* owner, const Str& realm, Str& user, Str& password);

private:
    QLineEdit* m_user;
    QLineEdit* m_password;
};

} // namespace lurvik
