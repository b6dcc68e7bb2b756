#include "SchedulerDialog.h"

#include "HelpWindow.h"
#include "Icons.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lurvik {

namespace {

constexpr int kHelpContext = 4010;
constexpr int kTimeColumnWidth = 60;
constexpr int kCompareRole = Qt::UserRole + 1;

QString timeText(std::time_t moment) {
    return QString::fromStdString(clockText(moment));
}

} // namespace

SchedulerDialog::SchedulerDialog(ScheduledSites& sites, QWidget* owner)
    : QDialog(owner), m_sites(sites), m_list(new QTreeWidget(this)),
      m_remove(new QPushButton(QStringLiteral("&Remove"), this)),
      m_edit(new QPushButton(QStringLiteral("&Edit"), this)) {
    setWindowTitle(QStringLiteral("Scheduler"));
    m_list->setHeaderLabels({QStringLiteral("Web Site"), QStringLiteral("Time")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSortingEnabled(false);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->header()->resizeSection(
        1,
        std::max(kTimeColumnWidth, m_list->fontMetrics().horizontalAdvance(QStringLiteral("00:00 AM")) + 24));
    // Room for an address beside the time; the list stretches the address column.
    setMinimumWidth(520);
    auto* label = new QLabel(QStringLiteral("&Scheduled sites for retrieval:"), this);
    label->setBuddy(m_list);
    auto* add = new QPushButton(QStringLiteral("A&dd"), this);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    auto* side = new QVBoxLayout;
    side->addWidget(add);
    side->addWidget(m_remove);
    side->addWidget(m_edit);
    side->addStretch();
    auto* row = new QHBoxLayout;
    row->addWidget(m_list);
    row->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(row);
    layout->addWidget(buttons);

    // Each entry goes in at the top, so the rows show the schedule's order reversed.
    for (const ScheduledSite& entry : m_sites.entries)
        insertScheduleRow(QString::fromStdString(entry.url.text()), entry.dueTime, entry.compare);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &SchedulerDialog::updateButtons);
    connect(add, &QPushButton::clicked, this, [this] {
        m_list->clearSelection();
        editSelected();
    });
    connect(m_edit, &QPushButton::clicked, this, &SchedulerDialog::editSelected);
    connect(m_remove, &QPushButton::clicked, this, &SchedulerDialog::removeSelected);
    connect(buttons, &QDialogButtonBox::accepted, this, &SchedulerDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this,
            [this] { HelpWindow::showTopic(kHelpContext, this); });
    updateButtons();
}

namespace {

void setCompare(QTreeWidgetItem* item, bool compare) {
    item->setData(0, kCompareRole, compare);
    item->setToolTip(0, compare ? QStringLiteral("Compared with the previous retrieval") : QString());
}

} // namespace

void SchedulerDialog::insertScheduleRow(const QString& text, std::time_t dueTime, bool compare) {
    auto* item = new QTreeWidgetItem({text, timeText(dueTime)});
    item->setIcon(0, Icons::linkIcon(1));
    item->setData(0, Qt::UserRole, QVariant::fromValue<qint64>(dueTime));
    setCompare(item, compare);
    m_list->insertTopLevelItem(0, item);
}

void SchedulerDialog::updateButtons() {
    bool selected = !m_list->selectedItems().isEmpty();
    m_remove->setEnabled(selected);
    m_edit->setEnabled(selected);
}

void SchedulerDialog::editSelected() {
    QTreeWidgetItem* item = m_list->selectedItems().value(0);
    ScheduleEditDialog edit(item ? item->text(0) : QString(),
                            item ? static_cast<std::time_t>(item->data(0, Qt::UserRole).toLongLong()) : 0,
                            item && item->data(0, kCompareRole).toBool(), this);
    if (edit.exec() == QDialog::Accepted) {
        std::time_t due = edit.dueTime(m_sites.now());
        QString text = edit.siteEdit()->text();
        if (item) {
            item->setText(0, text);
            item->setText(1, timeText(due));
            item->setData(0, Qt::UserRole, QVariant::fromValue<qint64>(due));
            setCompare(item, edit.compareBox()->isChecked());
        } else {
            insertScheduleRow(text, due, edit.compareBox()->isChecked());
        }
    }
    m_list->setFocus();
}

void SchedulerDialog::removeSelected() {
    QTreeWidgetItem* item = m_list->selectedItems().value(0);
    if (!item)
        return;
    int row = m_list->indexOfTopLevelItem(item);
    delete item;
    if (m_list->topLevelItemCount() > 0) {
        m_list->setCurrentItem(m_list->topLevelItem(std::min(row, m_list->topLevelItemCount() - 1)));
        m_list->currentItem()->setSelected(true);
    }
    m_list->setFocus();
    updateButtons();
}

void SchedulerDialog::accept() {
    m_sites.entries.clear();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        ScheduledSite entry;
        entry.url.setURL(item->text(0).toStdString());
        entry.dueTime = static_cast<int32_t>(item->data(0, Qt::UserRole).toLongLong());
        entry.compare = item->data(0, kCompareRole).toBool();
        m_sites.entries.push_back(std::move(entry));
    }
    QDialog::accept();
}

ScheduleEditDialog::ScheduleEditDialog(const QString& text, std::time_t dueTime, bool compare, QWidget* owner)
    : QDialog(owner), m_site(new QLineEdit(text, this)), m_hour(new QLineEdit(this)),
      m_minute(new QLineEdit(this)), m_half(new QComboBox(this)),
      m_compare(new QCheckBox(QStringLiteral("Co&mpare with the previous retrieval"), this)) {
    m_compare->setChecked(compare);
    m_compare->setToolTip(QStringLiteral("When the retrieval ends, list what changed since the site was last "
                                         "retrieved this way, and keep the list as a web page"));
    setWindowTitle(dueTime == 0 ? QStringLiteral("Add Scheduled Site")
                                : QStringLiteral("Edit Scheduled Site"));
    m_site->setMaxLength(255);
    m_hour->setMaxLength(2);
    m_minute->setMaxLength(2);
    m_half->addItems({QStringLiteral("AM"), QStringLiteral("PM")});
    if (dueTime != 0) {
        std::tm local{};
        localtime_r(&dueTime, &local);
        m_hour->setText(QString::number(local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12));
        m_minute->setText(QString::number(local.tm_min));
        m_half->setCurrentIndex(local.tm_hour < 12 ? 0 : 1);
    }
    m_hour->installEventFilter(this);
    m_minute->installEventFilter(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    auto* time = new QHBoxLayout;
    time->addWidget(m_hour);
    time->addWidget(new QLabel(QStringLiteral(":"), this));
    time->addWidget(m_minute);
    time->addWidget(m_half);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Site Name:"), m_site);
    form->addRow(QStringLiteral("Scheduled &time:"), time);
    qobject_cast<QLabel*>(form->labelForField(time))->setBuddy(m_hour);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_compare);
    layout->addWidget(buttons);
    auto enableOk = [this] { m_ok->setEnabled(!m_site->text().isEmpty()); };
    connect(m_site, &QLineEdit::textChanged, this, enableOk);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    enableOk();
}

bool ScheduleEditDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || (watched != m_hour && watched != m_minute))
        return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
        key->text().isEmpty())
        return false;
    QChar typed = key->text().front();
    int value = static_cast<QLineEdit*>(watched)->text().toInt();
    bool passes;
    // Typed digits build a valid hour (1 to 12) or minute (00 to 59), and nothing else gets in.
    if (watched == m_hour)
        passes = value == 0 ? typed >= '1' && typed <= '9' : value == 1 && typed >= '0' && typed <= '2';
    else
        passes = typed.isDigit() && value <= 5;
    return !passes;
}

std::time_t ScheduleEditDialog::dueTime(std::time_t now) const {
    return dueMoment(m_hour->text().toInt(), m_minute->text().toInt(), m_half->currentIndex() == 1, now);
}

} // namespace lurvik
