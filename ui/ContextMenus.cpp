#include "ContextMenus.h"

#include "Commands.h"
#include "LinkListModel.h"
#include "MainWindow.h"
#include "MapFileCommands.h"
#include "analysis/LinkRecord.h"
#include "retrieval/SiteNode.h"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTreeView>

namespace lurvik {

ContextMenus::ContextMenus(MainWindow& window) : m_window(window) {}

QAction* ContextMenus::addCommand(QMenu& menu, int id, const QString& text, bool enabled) {
    const CommandInfo* info = findCommand(id);
    QAction* action = menu.addAction(text);
    action->setEnabled(enabled && info->available);
    action->setStatusTip(QString::fromLatin1(info->helpText));
    QObject::connect(action, &QAction::triggered, &m_window, [this, id] { m_window.runCommand(id); });
    return action;
}

void ContextMenus::showTreeMenu(const QPoint& at) {
    SiteTreeView* tree = m_window.treeView();
    SiteTreeModel* model = m_window.treeModel();
    SiteTreeModel::Item* item = model->itemAt(tree->indexAt(at));
    if (!item)
        return;
    m_window.selectItem(item);
    m_window.updateCommands();
    QMenu menu(&m_window);
    auto entry = [&](int id, bool enabled, const char* text = nullptr) {
        return addCommand(menu, id, QString::fromLatin1(text ? text : findCommand(id)->menuText), enabled);
    };
    bool running = m_window.action(CmdStop)->isEnabled();
    bool hasChildren = !item->children.empty();
    if (item == model->root()) {
        entry(CmdOpenSite, true);
        entry(CmdOpenMap, true);
        entry(CmdSaveMap, hasChildren);
        entry(CmdSaveAs, true);
        menu.addSeparator();
        entry(CmdRemoveAll, hasChildren);
        menu.addSeparator();
        entry(CmdExpandAll, hasChildren);
        entry(CmdCollapseAll, hasChildren);
        menu.addSeparator();
        entry(CmdOptions, true);
        menu.addSeparator();
        entry(CmdProperties, true);
    } else {
        bool topLevel = model->isTopLevelSite(item);
        int state = item->node ? item->node->state.load() : 0;
        entry(CmdOpenInBrowser, true);
        entry(CmdSaveMap, topLevel && !running);
        entry(CmdSaveAs, true);
        menu.addSeparator();
        entry(CmdCopyPagePath, true);
        menu.addSeparator();
        entry(CmdRemoveSite, topLevel);
        entry(CmdReloadSite, topLevel && (state == NODE_ERROR || state == NODE_DONE), "Rel&oad Site");
        menu.addSeparator();
        entry(CmdExpandAll, hasChildren);
        entry(CmdCollapseAll, hasChildren);
        menu.addSeparator();
        if (state == NODE_WAITING)
            entry(CmdGetNow, true);
        else
            entry(CmdGetNow, false, "Get Now!");
        if (state == NODE_DONE)
            entry(CmdJumpToOriginal, !model->isPrimary(item));
        menu.addSeparator();
        entry(CmdProperties, true);
    }
    menu.exec(tree->viewport()->mapToGlobal(at));
}

void ContextMenus::showListMenu(QAbstractItemView* view, const QPoint& at) {
    if (!view || !view->indexAt(at).isValid())
        return;
    LinkListModel* links = m_window.linkModel();
    const LinkRecord* link = links->linkAt(view->indexAt(at).row());
    if (!link)
        return;
    m_window.linkView()->selectionModel()->setCurrentIndex(links->index(view->indexAt(at).row(), 0),
                                                           QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
    QMenu menu(&m_window);
    int kind = link->effectiveKind();
    QAction* open =
        kind == LINK_MAIL ? addCommand(menu, CmdOpenLink, QStringLiteral("Send &mail to..."), true)
        : kind == LINK_NEWS
            ? addCommand(menu, CmdOpenLink, QStringLiteral("Open &news reader..."), true)
            : addCommand(menu, CmdOpenLink, QStringLiteral("&Open in browser..."), link->url.getType() != 0);
    menu.setDefaultAction(open);
    SiteTreeModel::Item* sel = m_window.selectedItem();
    bool lurvikable = sel == m_window.treeModel()->root() ||
                      (kind == LINK_HTTP && sel && sel->node && !link->url.sameDomain(sel->node->url));
    addCommand(menu, CmdLurvikLink, QStringLiteral("&Lurvik link"), lurvikable);
    menu.addSeparator();
    addCommand(menu, CmdCopyLinkPath, QStringLiteral("&Copy link path"), true);
    Str type;
    link->typeName(type);
    if (kind == LINK_IMAGE)
        addCommand(menu, CmdSaveLinkAs, QStringLiteral("&Save image as..."), true);
    else if (kind == LINK_HTTP || kind == LINK_IMAGEMAP)
        addCommand(menu, CmdSaveLinkAs, QStringLiteral("&Save link as..."), type.nicmp("CGI", 3) != 0);
    else
        addCommand(menu, CmdSaveLinkAs, QStringLiteral("&Save link as..."), false);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Save list as CS&V..."), &m_window,
                   [this] { m_window.mapFiles().saveLinkListCsv(); });
    menu.exec(view->viewport()->mapToGlobal(at));
}

void ContextMenus::showSourceMenu(const QPoint& at) {
    QMenu menu(&m_window);
    menu.addAction(m_window.action(CmdCopy));
    menu.addAction(m_window.action(CmdSelectAll));
    menu.addSeparator();
    menu.addAction(m_window.action(CmdShowHtmlTags));
    menu.exec(m_window.sourceView()->mapToGlobal(at));
}

} // namespace lurvik
