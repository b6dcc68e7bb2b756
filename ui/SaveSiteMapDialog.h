#pragma once

#include "sitemap/StatusExtension.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QLineEdit;

namespace lurvik {

class SiteEngine;
class SiteNode;

// "Create Site Map": names the file, the author and a description, and saves the selected site
// (or, from the root, every site) with or without its HTML.
class SaveSiteMapDialog : public QDialog {
    Q_OBJECT
public:
    SaveSiteMapDialog(SiteEngine& engine, QWidget* parent = nullptr);

    // root null saves every site; hasSelection false means nothing is selected in the tree.
    void setRoot(SiteNode* root, bool hasSelection);
    // The statuses of the links that are not pages (checked, or asked for by rendered pages),
    // saved with the map.
    void setCheckedLinks(std::vector<CheckedLink> checked) { m_checked = std::move(checked); }

    QLineEdit* fileEdit() const { return m_file; }
    QLineEdit* authorEdit() const { return m_author; }
    QLineEdit* descriptionEdit() const { return m_description; }
    QCheckBox* includeHtmlBox() const { return m_includeHtml; }
    // The map's result code of the last Create; -1 before one ran.
    int lastResult() const { return m_lastResult; }

    // The name a map is saved under: ".web" appended unless it already ends so, case counting.
    static QString mapFileName(const QString& typed);

private:
    void browse();
    void create();

    SiteEngine& m_engine;
    SiteNode* m_root = nullptr;
    bool m_hasSelection = false;
    std::vector<CheckedLink> m_checked;
    QLineEdit* m_file;
    QLineEdit* m_author;
    QLineEdit* m_description;
    QCheckBox* m_includeHtml;
    int m_lastResult = -1;
};

} // namespace lurvik
