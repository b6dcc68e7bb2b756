#include "SaveSiteMapDialog.h"

#include "HelpWindow.h"
#include "platform/gui/WaitCursor.h"
#include "sitemap/SiteMapFile.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace lurvik {

namespace {

constexpr int kHelpSaveMap = 4013;

} // namespace

SaveSiteMapDialog::SaveSiteMapDialog(SiteEngine& engine, QWidget* parent)
    : QDialog(parent), m_engine(engine), m_file(new QLineEdit(this)), m_author(new QLineEdit(this)),
      m_description(new QLineEdit(this)),
      m_includeHtml(new QCheckBox(QStringLiteral("&Include HTML source in map file"), this)) {
    setWindowTitle(QStringLiteral("Create Site Map"));
    setObjectName(QStringLiteral("SaveSiteMapDialog"));
    m_file->setMaxLength(260);
    m_author->setMaxLength(40);
    m_description->setMaxLength(100);
    m_description->setText(QStringLiteral("Lurvik Site map"));

    auto* browseButton = new QPushButton(QStringLiteral("&Browse..."), this);
    connect(browseButton, &QPushButton::clicked, this, &SaveSiteMapDialog::browse);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(browseButton);

    // A row that is a layout gets no buddy of its own: the label would show its "&" as text.
    auto* fileLabel = new QLabel(QStringLiteral("&Map Filename:"), this);
    fileLabel->setBuddy(m_file);
    auto* form = new QFormLayout;
    form->addRow(fileLabel, fileRow);
    form->addRow(QString(), m_includeHtml);
    form->addRow(QStringLiteral("&Author Name:"), m_author);
    form->addRow(QStringLiteral("Site &Description:"), m_description);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* createButton = buttons->addButton(QStringLiteral("&Create"), QDialogButtonBox::AcceptRole);
    createButton->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel);
    QPushButton* help = buttons->addButton(QStringLiteral("&Help"), QDialogButtonBox::HelpRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &SaveSiteMapDialog::create);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] { HelpWindow::showTopic(kHelpSaveMap, this); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    setTabOrder(m_file, browseButton);
    setTabOrder(browseButton, m_includeHtml);
    setTabOrder(m_includeHtml, m_author);
    setTabOrder(m_author, m_description);
}

void SaveSiteMapDialog::setRoot(SiteNode* root, bool hasSelection) {
    m_root = root;
    m_hasSelection = hasSelection;
}

QString SaveSiteMapDialog::mapFileName(const QString& typed) {
    return typed.endsWith(QLatin1String(".web"), Qt::CaseSensitive) ? typed : typed + QLatin1String(".web");
}

void SaveSiteMapDialog::browse() {
    QFileDialog dialog(this, QStringLiteral("Save Site Map"), m_file->text(),
                       QStringLiteral("WWW SiteMap (*.web)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("web"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        m_file->setText(dialog.selectedFiles().first());
}

void SaveSiteMapDialog::create() {
    if (m_file->text().isEmpty()) {
        QMessageBox::critical(this, QStringLiteral("Error in filename"),
                              QStringLiteral("You must enter a filename"));
        return;
    }
    SiteMapFile map;
    map.fileName = Str(mapFileName(m_file->text()).toStdString());
    if (!m_author->text().isEmpty())
        map.authorName = Str(m_author->text().left(39).toStdString());
    if (!m_description->text().isEmpty())
        map.description = Str(m_description->text().left(99).toStdString());
    if (!m_hasSelection) {
        QMessageBox::critical(nullptr, QStringLiteral("Wierd error"),
                              QStringLiteral("Error saving site map"));
        accept();
        return;
    }
    map.checkedLinks = m_checked;
    withWaitCursor([&] { m_lastResult = map.save(m_engine, m_root, m_includeHtml->isChecked()); });
    if (m_lastResult == 4001 || m_lastResult == 4002)
        QMessageBox::warning(nullptr, QStringLiteral("Lurvik Error"),
                             QString::fromLatin1(m_lastResult == 4001
                                                     ? "Cannot Save Map while link is active."
                                                     : "Nothing to Save!"));
    accept();
}

} // namespace lurvik
