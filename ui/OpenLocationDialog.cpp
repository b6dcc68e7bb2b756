#include "OpenLocationDialog.h"

#include "Icons.h"
#include "retrieval/Settings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace lurvik {

namespace {

constexpr int kMaxAddress = 127;
constexpr int kHistoryLength = 5;

} // namespace

OpenLocationDialog::OpenLocationDialog(const Settings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_combo(new QComboBox(this)) {
    setWindowTitle(QStringLiteral("Open Location"));
    setObjectName(QStringLiteral("OpenLocationDialog"));
    auto* icon = new QLabel(this);
    icon->setPixmap(Icons::programIcon().pixmap(32, 32));
    auto* explanation = new QLabel(
        QStringLiteral("Type the address of the page to start from, for example "
                       "http://www.example.com/index.html. Lurvik retrieves it and every page it links "
                       "to within your limits."),
        this);
    explanation->setWordWrap(true);
    auto* label = new QLabel(QStringLiteral("Open Address:"), this);
    m_combo->setEditable(true);
    m_combo->setInsertPolicy(QComboBox::NoInsert);
    m_combo->setMinimumWidth(360);
    m_combo->lineEdit()->setMaxLength(kMaxAddress);
    label->setBuddy(m_combo);

    std::vector<Str> history;
    (void)m_settings.loadUrlHistory(history);
    for (const Str& entry : history)
        m_combo->addItem(QString::fromUtf8(entry.text(), entry.len()));
    if (m_combo->count() > 0)
        m_combo->setCurrentIndex(0);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* openButton = buttons->addButton(QStringLiteral("Open"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    openButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &OpenLocationDialog::open);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(explanation, 0, 1, 1, 2);
    grid->addWidget(label, 1, 1);
    grid->addWidget(m_combo, 1, 2);
    grid->addWidget(buttons, 2, 0, 1, 3);
    m_combo->setFocus();
}

void OpenLocationDialog::addToHistory(std::vector<Str>& history, const Str& text) {
    for (size_t i = 0; i < history.size(); ++i) {
        if (history[i].icmp(text.view()) == 0) {
            history.erase(history.begin() + static_cast<long>(i));
            break;
        }
    }
    history.insert(history.begin(), text);
    if (history.size() > kHistoryLength)
        history.resize(kHistoryLength);
}

void OpenLocationDialog::open() {
    QString text = m_combo->currentText().left(kMaxAddress);
    if (text.isEmpty()) {
        accept();
        return;
    }
    std::vector<Str> history;
    for (int i = 0; i < m_combo->count(); ++i)
        history.emplace_back(m_combo->itemText(i).toStdString());
    addToHistory(history, Str(text.toStdString()));
    (void)m_settings.saveUrlHistory(history);
    m_address = text;
    accept();
}

} // namespace lurvik
