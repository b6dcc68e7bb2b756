#include "PasswordDialog.h"

#include "Icons.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace lurvik {

namespace {

constexpr int kMaxField = 49;

} // namespace

PasswordDialog::PasswordDialog(const QString& realm, QWidget* parent)
    : QDialog(parent), m_user(new QLineEdit(this)), m_password(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("Enter network password"));
    setObjectName(QStringLiteral("PasswordDialog"));
    auto* icon = new QLabel(this);
    icon->setPixmap(Icons::toolbarIcon(4).pixmap(32, 32));
    auto* explanation = new QLabel(QStringLiteral("The web site you have opened requires a username and "
                                                  "password for access. Please login below."),
                                   this);
    explanation->setWordWrap(true);
    auto* realmLabel = new QLabel(realm, this);
    realmLabel->setObjectName(QStringLiteral("realm"));
    m_user->setMaxLength(kMaxField);
    m_password->setMaxLength(kMaxField);
    m_password->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Realm:"), realmLabel);
    form->addRow(QStringLiteral("&User Name:"), m_user);
    form->addRow(QStringLiteral("&Password:"), m_password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(explanation, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(form);
    layout->addWidget(buttons);
    m_user->setFocus();
}

int PasswordDialog::askNetworkPassword(QWidget* owner, const Str& realm, Str& user, Str& password) {
    PasswordDialog dialog(QString::fromUtf8(realm.text(), realm.len()), owner);
    if (dialog.exec() != QDialog::Accepted)
        return 1;
    user = Str(dialog.m_user->text().left(kMaxField).toStdString());
    password = Str(dialog.m_password->text().left(kMaxField).toStdString());
    return 0;
}

} // namespace lurvik
