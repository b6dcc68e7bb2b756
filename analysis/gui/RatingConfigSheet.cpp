#include "RatingConfigSheet.h"

#include "analysis/RatingSettings.h"
#include "platform/gui/QtText.h"

#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lurvik {

namespace {

RatingCategory* categoryNamed(RatingSystem& system, const Str& name) {
    for (int i = 0; i < system.categories.len(); ++i)
        if (RatingCategory* category = system.categories.get(i); category && category->name == name)
            return category;
    return nullptr;
}

} // namespace

RatingConfigSheet::RatingConfigSheet(RatingSettings& ratings, PageOpener openPage, QWidget* owner)
    : PropertySheet(QStringLiteral("Site Rating Configuration"), owner), m_ratings(ratings),
      m_openPage(std::move(openPage)) {
    addPage(
        QStringLiteral("Settings"), [this] { return buildSettings(); }, [this] { applySettings(); });
    addPage(
        QStringLiteral("Systems"), [this] { return buildSystems(); }, [this] { applySystems(); });
}

QWidget* RatingConfigSheet::buildSettings() {
    auto* page = new QWidget(this);
    m_tree = new QTreeWidget(page);
    m_tree->setHeaderHidden(true);
    m_slider = new QSlider(Qt::Horizontal, page);
    m_slider->setTickPosition(QSlider::TicksBelow);
    m_levelName = new QLabel(page);
    m_description = new QLabel(page);
    m_description->setWordWrap(true);
    auto* open = new QPushButton(QStringLiteral("&Open..."), page);
    connect(open, &QPushButton::clicked, this, [this] { m_openPage(fromStr(m_working.ratingService)); });
    connect(m_tree, &QTreeWidget::currentItemChanged, this, &RatingConfigSheet::showSelected);
    connect(m_slider, &QSlider::valueChanged, this, &RatingConfigSheet::sliderMoved);
    auto* label = new QLabel(QStringLiteral("&Classification:"), page);
    label->setBuddy(m_tree);
    auto* service = new QHBoxLayout;
    service->addWidget(new QLabel(QStringLiteral("View this rating system's web page:"), page));
    service->addWidget(open);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(label);
    layout->addWidget(m_tree);
    layout->addWidget(m_slider);
    layout->addWidget(m_levelName);
    layout->addWidget(m_description);
    layout->addLayout(service);
    fillTree();
    return page;
}

void RatingConfigSheet::fillTree() {
    m_tree->clear();
    m_selectedCategory = -1;
    const RatingSystem& system = m_ratings.ratingSystem;
    QFont bold = m_tree->font();
    bold.setBold(true);
    QStyle* style = QApplication::style();
    m_root = new QTreeWidgetItem(m_tree, {fromStr(system.name)});
    m_root->setIcon(0, style->standardIcon(QStyle::SP_DirIcon));
    m_root->setFont(0, bold);
    for (int i = 0; i < system.categories.len(); ++i) {
        auto* item = new QTreeWidgetItem(m_root, {fromStr(system.categories.get(i)->name)});
        item->setIcon(0, style->standardIcon(QStyle::SP_FileIcon));
        item->setFont(0, bold);
    }
    m_root->setExpanded(true);
    m_working = m_ratings.currentRatings;
    m_slider->hide();
    m_levelName->hide();
    m_description->clear();
}

void RatingConfigSheet::showSelected() {
    QTreeWidgetItem* item = m_tree->currentItem();
    if (!item)
        return;
    m_selectedCategory = -1;
    const RatingSystem& system = m_ratings.ratingSystem;
    if (item != m_root)
        for (int i = 0; i < system.categories.len(); ++i)
            if (fromStr(system.categories.get(i)->name) == item->text(0).left(254))
                m_selectedCategory = i;
    const RatingCategory* category = system.categories.get(m_selectedCategory);
    if (!category) {
        m_slider->hide();
        m_levelName->hide();
        m_description->setText(fromStr(system.description));
        return;
    }
    int low = category->min;
    int high = category->max;
    // A file that gives no bounds numbers its levels from 0.
    if (low == 0 && high == 0)
        high = std::max(category->values.len() - 1, 1);
    const RatingCategory* working = categoryNamed(m_working, category->name);
    const QSignalBlocker quiet(m_slider);
    m_slider->setRange(low, high);
    m_slider->setValue(std::min(working ? working->limit : 0, high));
    m_slider->show();
    m_levelName->show();
    showLevel();
}

void RatingConfigSheet::showLevel() {
    const RatingCategory* category = m_ratings.ratingSystem.categories.get(m_selectedCategory);
    if (!category)
        return;
    int position = m_slider->value();
    const RatingValue* level = category->values.get(position == 0 ? 0 : position - category->min);
    m_levelName->setText(level ? fromStr(level->name) : QString());
    m_description->setText(level ? fromStr(level->description) : QString());
}

void RatingConfigSheet::sliderMoved(int position) {
    const RatingCategory* category = m_ratings.ratingSystem.categories.get(m_selectedCategory);
    if (!category)
        return;
    showLevel();
    RatingCategory* working = categoryNamed(m_working, category->name);
    // A category whose limit was never stored gets one now, or the user's choice would be lost.
    if (!working) {
        working = new RatingCategory;
        working->transmitAs = category->transmitAs;
        working->name = category->name;
        working->min = category->min;
        working->max = category->max;
        m_working.categories.add(working);
    }
    working->limit = position;
    setChanged();
}

void RatingConfigSheet::applySettings() {
    m_ratings.currentRatings = m_working;
    (void)m_ratings.currentRatings.saveToRegistry();
}

QWidget* RatingConfigSheet::buildSystems() {
    auto* page = new QWidget(this);
    m_files = new QListWidget(page);
    auto* label = new QLabel(QStringLiteral("&Installed Rating System:"), page);
    label->setBuddy(m_files);
    auto* change = new QPushButton(QStringLiteral("&Change..."), page);
    auto* byDefault = new QPushButton(QStringLiteral("&Default"), page);
    byDefault->setObjectName(QStringLiteral("defaultSystem"));
    connect(change, &QPushButton::clicked, this, [this] {
        QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Browser for Ratings file..."),
                                                    QString(), QStringLiteral("Ratings File (*.rat)"));
        if (!path.isEmpty())
            chooseFile(path);
    });
    connect(byDefault, &QPushButton::clicked, this, [this] {
        m_pendingFile = kDefaultRatingsFile;
        showFile(m_pendingFile);
        setChanged();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(change);
    buttons->addWidget(byDefault);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(label);
    layout->addWidget(m_files);
    layout->addLayout(buttons);
    showFile(m_ratings.ratingsFile);
    return page;
}

void RatingConfigSheet::showFile(const Str& file) {
    m_files->clear();
    m_files->addItem(fromStr(file));
    m_files->setCurrentRow(0);
}

void RatingConfigSheet::chooseFile(const QString& path) {
    m_pendingFile = toStr(path);
    showFile(m_pendingFile);
    setChanged();
}

void RatingConfigSheet::applySystems() {
    if (m_pendingFile.isEmpty() || m_pendingFile == m_ratings.ratingsFile)
        return;
    m_ratings.ratingsFile = m_pendingFile;
    (void)saveFileAndPassword(m_ratings.ratingsFile, m_ratings.adminPasswordHash);
    // An unreadable file leaves the system without a name, which the Options page shows.
    (void)m_ratings.load();
    if (m_tree)
        fillTree();
}

void showRatingConfiguration(QWidget* owner, RatingSettings& ratings,
                             RatingConfigSheet::PageOpener openPage) {
    RatingConfigSheet sheet(ratings, std::move(openPage), owner);
    sheet.exec();
}

} // namespace lurvik
