#include "SaveCriteriaDialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace lurvik {

SaveCriteriaDialog::SaveCriteriaDialog(QWidget* parent)
    : QDialog(parent), m_name(new QLineEdit(this)), m_author(new QLineEdit(this)),
      m_description(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("Save Find Criteria"));
    setObjectName(QStringLiteral("SaveFindCriteriaDialog"));
    m_name->setMaxLength(260);
    m_author->setMaxLength(40);
    m_description->setMaxLength(100);
    m_description->setText(QStringLiteral("Lurvik Find Criteria"));

    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    connect(browse, &QPushButton::clicked, this, &SaveCriteriaDialog::browse);
    auto* info = new QGroupBox(QStringLiteral("Find Criteria Information (Optional)"), this);
    auto* infoGrid = new QGridLayout(info);
    auto* authorLabel = new QLabel(QStringLiteral("&Author Name:"), info);
    authorLabel->setBuddy(m_author);
    auto* descriptionLabel = new QLabel(QStringLiteral("Criteria &Description:"), info);
    descriptionLabel->setBuddy(m_description);
    infoGrid->addWidget(authorLabel, 0, 0);
    infoGrid->addWidget(m_author, 0, 1);
    infoGrid->addWidget(descriptionLabel, 1, 0);
    infoGrid->addWidget(m_description, 1, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* createButton = buttons->addButton(QStringLiteral("&Create"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    // Help has nothing to show for this dialog.
    buttons->addButton(QDialogButtonBox::Help);
    createButton->setDefault(true);
    connect(createButton, &QPushButton::clicked, this, &SaveCriteriaDialog::create);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_name, 0, 0);
    grid->addWidget(browse, 0, 1);
    grid->addWidget(info, 1, 0, 1, 2);
    grid->addWidget(buttons, 2, 0, 1, 2);
    m_name->setMinimumWidth(300);
}

QString SaveCriteriaDialog::author() const {
    return m_author->text();
}

QString SaveCriteriaDialog::description() const {
    return m_description->text();
}

QString SaveCriteriaDialog::withExtension(const QString& name) {
    return name.endsWith(QStringLiteral(".ifc"), Qt::CaseSensitive) ? name : name + QStringLiteral(".ifc");
}

void SaveCriteriaDialog::create() {
    if (m_name->text().isEmpty()) {
        QMessageBox::critical(this, QStringLiteral("Error in filename"),
                              QStringLiteral("You must enter a filename"));
        return;
    }
    m_chosenName = withExtension(m_name->text());
    accept();
}

void SaveCriteriaDialog::browse() {
    QFileDialog dialog(this, QStringLiteral("Save Find Criteria"), m_name->text(),
                       QStringLiteral("Lurvik Find Criteria(*.ifc)"));
    dialog.setDefaultSuffix(QStringLiteral("ifc"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        m_name->setText(dialog.selectedFiles().first());
}

} // namespace lurvik
