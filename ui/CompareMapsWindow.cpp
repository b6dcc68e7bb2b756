#include "CompareMapsWindow.h"

#include "Application.h"
#include "analysis/gui/RowsCsv.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace lurvik {

namespace {

// The kinds the filter offers, by the names the rows show.
const char* const kKinds[] = {"broken", "fixed", "status", "added", "removed", "title", "links"};

// Keeps a row when its kind is the one chosen and its text holds the filter's.
class ChangeFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void set(const QString& text, const QString& kind) {
        m_text = text;
        m_kind = kind;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        const QAbstractItemModel* rows = sourceModel();
        if (!m_kind.isEmpty() && rows->index(row, 0, parent).data().toString() != m_kind)
            return false;
        if (m_text.isEmpty())
            return true;
        for (int column = 1; column < rows->columnCount(); ++column)
            if (rows->index(row, column, parent).data().toString().contains(m_text, Qt::CaseInsensitive))
                return true;
        return false;
    }

private:
    QString m_text;
    QString m_kind;
};

} // namespace

CompareMapsWindow::CompareMapsWindow(Application& app, const QString& mapFile, QWidget* parent)
    : QDialog(parent), m_mapFile(mapFile), m_rows(new QStandardItemModel(this)),
      m_shown(new ChangeFilter(this)), m_list(new QTableView(this)), m_filter(new QLineEdit(this)),
      m_kind(new QComboBox(this)), m_summary(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Compare with %1").arg(QFileInfo(mapFile).fileName()));
    m_rows->setHorizontalHeaderLabels({QStringLiteral("Change"), QStringLiteral("Address"),
                                       QStringLiteral("Before"), QStringLiteral("After"),
                                       QStringLiteral("Detail")});
    m_shown->setSourceModel(m_rows);
    m_list->setModel(m_shown);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_filter->setPlaceholderText(QStringLiteral("Text in the address or what changed"));
    m_kind->addItem(QStringLiteral("All changes"));
    for (const char* kind : kKinds)
        m_kind->addItem(QString::fromLatin1(kind));

    auto* filterLabel = new QLabel(QStringLiteral("&Filter:"), this);
    filterLabel->setBuddy(m_filter);
    auto* filters = new QHBoxLayout;
    filters->addWidget(filterLabel);
    filters->addWidget(m_filter, 1);
    filters->addWidget(m_kind);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* save = buttons->addButton(QStringLiteral("&Save As..."), QDialogButtonBox::ActionRole);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addLayout(filters);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(save, &QPushButton::clicked, this, &CompareMapsWindow::chooseFileAndSave);
    connect(m_filter, &QLineEdit::textChanged, this, &CompareMapsWindow::applyFilter);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &CompareMapsWindow::applyFilter);
    resize(900, 500);

    compare(app);
}

void CompareMapsWindow::compare(Application& app) {
    const std::vector<CheckedLink> checked = checkedLinksOf(app.checkedLinks);
    std::string reason;
    if (compareMapWithCrawl(m_mapFile.toStdString(), {&app.engine, &checked}, false, m_changes, reason) !=
        0) {
        m_errorText = QStringLiteral("Cannot open %1: %2")
                          .arg(QDir::toNativeSeparators(m_mapFile), QString::fromStdString(reason));
        return;
    }
    m_loaded = true;
    fillRows();
}

void CompareMapsWindow::fillRows() {
    int broken = 0;
    for (const MapChange& change : m_changes) {
        QList<QStandardItem*> row;
        for (const std::string& text :
             {std::string(changeName(change.kind)), change.url, change.before, change.after, change.detail})
            row.append(new QStandardItem(QString::fromStdString(text)));
        m_rows->appendRow(row);
        broken += change.kind == MapChange::Kind::Broken;
    }
    m_summary->setText(QStringLiteral("%1 change(s), %2 newly broken").arg(m_changes.size()).arg(broken));
    m_list->resizeColumnsToContents();
}

void CompareMapsWindow::applyFilter() {
    static_cast<ChangeFilter*>(m_shown)->set(m_filter->text(),
                                             m_kind->currentIndex() > 0 ? m_kind->currentText() : QString());
}

int CompareMapsWindow::shownRows() const {
    return m_shown->rowCount();
}

int CompareMapsWindow::saveTo(const QString& fileName) {
    if (fileName.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
        return saveRowsAsCsv(*m_shown, fileName, m_errorText);
    Str why;
    if (writeComparisonPage(fileName.toStdString(), m_mapFile.toStdString(), "the site on screen", m_changes,
                            why) != 0) {
        m_errorText = QStringLiteral("Cannot write %1: %2")
                          .arg(QDir::toNativeSeparators(fileName), QString::fromStdString(why.str()));
        return 1;
    }
    return 0;
}

void CompareMapsWindow::chooseFileAndSave() {
    const QString fileName =
        QFileDialog::getSaveFileName(this, QStringLiteral("Save Changes"), QString(),
                                     QStringLiteral("Web page (*.html);;Comma-separated values (*.csv)"));
    if (!fileName.isEmpty() && saveTo(fileName) != 0)
        QMessageBox::warning(this, QStringLiteral("Lurvik Error"), m_errorText);
}

} // namespace lurvik
