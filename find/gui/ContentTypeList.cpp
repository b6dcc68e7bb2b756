#include "ContentTypeList.h"

#include "FindHost.h"
#include "find/ObjectTypes.h"
#include "platform/gui/QtText.h"
#include "retrieval/SiteEngine.h"

#include <QHeaderView>
#include <QMenu>

namespace lurvik {

namespace {

// The link list's icons for the nine fixed rows, in their order.
constexpr int kFixedIcons[kFixedContentTypes] = {3, 7, 8, 5, 6, 4, 10, 9, 11};
constexpr int kMaxNameBytes = 254;
constexpr int kStateRole = Qt::UserRole;

} // namespace

ContentTypeList::Texts ContentTypeList::findWindowTexts() {
    return {QStringLiteral("Pages that contain:"),
            QStringLiteral("Include Status"),
            {QStringLiteral("Exclude pages with this link type"),
             QStringLiteral("Include pages with this link type"),
             QStringLiteral("Show pages regardless of this link type")},
            {QStringLiteral("Include this type in Find"),
             QStringLiteral("Show regardless of this type in Find"),
             QStringLiteral("Exclude this type in Find")}};
}

ContentTypeList::Texts ContentTypeList::wizardTexts() {
    return {QStringLiteral("Pages that contain:"),
            QStringLiteral("Include Status"),
            {QStringLiteral("No"), QStringLiteral("Yes"), QStringLiteral("---")},
            {QStringLiteral("Yes, retrieve only pages that contain this type"),
             QStringLiteral("---, retrieve pages with and without this type"),
             QStringLiteral("No, do not retrieve pages that contain this type")}};
}

ContentTypeList::ContentTypeList(const FindHost& host, Texts texts, QWidget* parent)
    : QTreeWidget(parent), m_host(host), m_texts(std::move(texts)) {
    setColumnCount(2);
    setHeaderLabels({m_texts.nameColumn, m_texts.stateColumn});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    header()->setStretchLastSection(true);
    setColumnWidth(0, 150);
    // The double click steps the state; it must not start editing or expanding.
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { stepState(indexOfTopLevelItem(item)); });
    connect(this, &QWidget::customContextMenuRequested, this, &ContentTypeList::showMenu);
}

void ContentTypeList::addRow(const QString& name, int state, const QIcon& icon) {
    auto* item = new QTreeWidgetItem(this);
    item->setText(0, name);
    item->setIcon(0, icon);
    item->setData(0, kStateRole, state);
    item->setText(1, m_texts.states[state >= 0 && state <= 2 ? state : CONTENT_EITHER]);
}

void ContentTypeList::fillDefault() {
    clear();
    auto icon = [this](int index) { return m_host.linkIcon ? m_host.linkIcon(index) : QIcon(); };
    for (int i = 0; i < kFixedContentTypes; ++i)
        addRow(QString::fromLatin1(fixedContentTypeName(i)), CONTENT_EITHER, icon(kFixedIcons[i]));
    if (!m_host.engine)
        return;
    std::vector<Str> names;
    m_host.engine->typeTable.typeNames(names);
    for (const Str& name : names) {
        int index = 0;
        m_host.engine->typeTable.imageIndexForTypeName(name, index);
        addRow(fromStr(name), CONTENT_EITHER, icon(index ? index : 1));
    }
}

void ContentTypeList::resetStates() {
    for (int row = 0; row < topLevelItemCount(); ++row)
        setState(row, CONTENT_EITHER);
}

void ContentTypeList::loadRows(const FindCriteria& criteria) {
    clear();
    int count = criteria.contentTypeNames.len();
    if (count < kFixedContentTypes)
        return;
    auto icon = [this](int index) { return m_host.linkIcon ? m_host.linkIcon(index) : QIcon(); };
    for (int i = 0; i < count; ++i) {
        int state = *criteria.contentTypeStates.get(i);
        if (i < kFixedContentTypes) {
            addRow(QString::fromLatin1(fixedContentTypeName(i)), state, icon(kFixedIcons[i]));
            continue;
        }
        const Str& name = *criteria.contentTypeNames.get(i);
        int index = 0;
        if (m_host.engine)
            m_host.engine->typeTable.imageIndexForTypeName(name, index);
        addRow(fromStr(name), state, icon(index ? index : 1));
    }
}

std::vector<ContentTypeRow> ContentTypeList::rows() const {
    std::vector<ContentTypeRow> out;
    for (int row = 0; row < topLevelItemCount(); ++row) {
        std::string name = topLevelItem(row)->text(0).toStdString();
        if (name.size() > kMaxNameBytes)
            name.resize(kMaxNameBytes);
        out.push_back({Str(std::move(name)), state(row)});
    }
    return out;
}

int ContentTypeList::state(int row) const {
    QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->data(0, kStateRole).toInt() : CONTENT_EITHER;
}

void ContentTypeList::setState(int row, int state) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item || state < 0 || state > 2)
        return;
    item->setData(0, kStateRole, state);
    item->setText(1, m_texts.states[state]);
}

void ContentTypeList::stepState(int row) {
    static constexpr int kNext[3] = {CONTENT_EITHER, CONTENT_EXCLUDE, CONTENT_INCLUDE};
    int current = state(row);
    setState(row, kNext[current >= 0 && current <= 2 ? current : CONTENT_EITHER]);
}

void ContentTypeList::showMenu(const QPoint& at) {
    if (!isEnabled() || selectedItems().isEmpty())
        return;
    QMenu menu(this);
    const int states[3] = {CONTENT_INCLUDE, CONTENT_EITHER, CONTENT_EXCLUDE};
    for (int i = 0; i < 3; ++i) {
        int state = states[i];
        connect(menu.addAction(m_texts.menu[i]), &QAction::triggered, this, [this, state] {
            for (QTreeWidgetItem* item : selectedItems())
                setState(indexOfTopLevelItem(item), state);
        });
    }
    menu.exec(viewport()->mapToGlobal(at));
}

} // namespace lurvik
