#pragma once

#include "find/FindCriteria.h"

#include <QTabWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace lurvik {

class ContentTypeList;
class CountChoice;
struct FindHost;

// The five tab pages of a Find window ("Type and Text", "Page Content", "Page Connections",
// "Page Rating", "Reference"), which turn their controls into criteria and back. They keep the
// controls consistent with each other: a link type disables what only pages have, "All" disables
// an operator, an unchecked rating box its answers, no place to look the search text.
// Every control has an object name, which is how tests find it.
class CriteriaTabs : public QTabWidget {
    Q_OBJECT
public:
    CriteriaTabs(const FindHost& host, QWidget* parent = nullptr);

    // Clears criteria and fills them from the controls, as before every search and save.
    void buildCriteria(FindCriteria& criteria) const;
    // Sets the controls from criteria (a criteria file, the wizard). The content list is rebuilt
    // from them only for a page type and when loadContent is true.
    void loadControls(const FindCriteria& criteria, bool loadContent);
    // The controls of a window that has not searched yet.
    void resetControls();

    QComboBox* searchTextBox() const { return m_text; }
    QComboBox* typeList() const { return m_type; }
    ContentTypeList* contentList() const { return m_content; }
    // The search text, as the history shows it, most recent first.
    void setHistory(const std::vector<Str>& texts);

private:
    QWidget* typeAndTextPage();
    QWidget* contentPage();
    QWidget* connectionsPage();
    QWidget* ratingPage();
    QWidget* referencePage();
    void fillTypes();
    void typeChanged();
    void lookInChanged();
    void ratingChanged();

    const FindHost& m_host;
    QComboBox* m_type = nullptr;
    QComboBox* m_text = nullptr;
    QCheckBox* m_inURL = nullptr;
    QCheckBox* m_inTitle = nullptr;
    QCheckBox* m_inBody = nullptr;
    CountChoice* m_limit = nullptr;
    QCheckBox* m_noDuplicates = nullptr;
    QCheckBox* m_wholeWord = nullptr;
    QCheckBox* m_matchCase = nullptr;
    QRadioButton* m_any = nullptr;
    QRadioButton* m_all = nullptr;
    CountChoice* m_size = nullptr;
    CountChoice* m_links = nullptr;
    ContentTypeList* m_content = nullptr;
    CountChoice* m_children = nullptr;
    CountChoice* m_parents = nullptr;
    CountChoice* m_external = nullptr;
    QCheckBox* m_rated = nullptr;
    QRadioButton* m_ratedYes = nullptr;
    QRadioButton* m_ratedNo = nullptr;
    QCheckBox* m_violating = nullptr;
    QRadioButton* m_violatingYes = nullptr;
    QRadioButton* m_violatingNo = nullptr;
    QLineEdit* m_reference = nullptr;
};

} // namespace lurvik
