#pragma once

#include "FindHost.h"
#include "find/FindCriteria.h"
#include "find/SearchHistory.h"

#include <QWizard>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QRadioButton;

namespace lurvik {

class ContentTypeList;
class CountChoice;

// The Find Wizard: the Find window's criteria asked one question a page, thirteen pages in all,
// of which the answers skip some. Finish builds the criteria and hands them to onFinish, which
// opens a Find window that searches with them at once.
class FindWizard : public QWizard {
    Q_OBJECT
public:
    // The pages by their number, 1 to 13, as ids.
    enum Page {
        Welcome = 1,
        ObjectType,
        PageText,
        PageTextPlaces,
        LinkText,
        LinkTextPlaces,
        Limit,
        SizeAndLinks,
        Content,
        Connections,
        Ratings,
        Reference,
        Finished,
    };

    using Finish = std::function<void(const FindCriteria& criteria, bool contentAnswered)>;

    FindWizard(const FindHost& host, Finish onFinish, QWidget* parent = nullptr);

    int nextId() const override;
    // The criteria the answers give so far, as Finish builds them.
    void buildCriteria(FindCriteria& criteria) const;

    // The flags the answers set as Next leaves their pages.
    bool pagesMode() const { return m_pagesMode; }
    bool textEnabled() const { return m_textEnabled; }
    bool contentEnabled() const { return m_contentEnabled; }

protected:
    bool validateCurrentPage() override;
    void done(int result) override;

private:
    QWizardPage* addQuestionPage(int id, const QString& title, const QString& question);
    // A "Yes, please" / "No, thank you" pair; the Yes button is returned, checked.
    QRadioButton* addYesNo(QWizardPage* page, const char* name);
    void buildWelcome();
    void buildTypePage();
    void buildTextPage(int id, const QString& question, const QString& boxText, const char* prefix);
    void buildPlacesPage(int id, bool links);
    void buildLimitPage();
    void buildSizePage();
    void buildContentPage();
    void buildConnectionsPage();
    void buildRatingsPage();
    void buildReferencePage();
    void buildFinished();
    bool yes(int id) const;

    FindHost m_host;
    Finish m_onFinish;
    SearchHistory m_history{"FindWizardText"};
    bool m_pagesMode = true;
    bool m_textEnabled = true;
    bool m_contentEnabled = true;
    bool m_connectionsEnabled = true;
    bool m_ratingsEnabled = false;
    bool m_referenceEnabled = true;

    QListWidget* m_types = nullptr;
    QComboBox* m_pageText = nullptr;
    QComboBox* m_linkText = nullptr;
    QCheckBox* m_pageInURL = nullptr;
    QCheckBox* m_pageInTitle = nullptr;
    QCheckBox* m_pageInBody = nullptr;
    QCheckBox* m_linkInURL = nullptr;
    QCheckBox* m_linkInTitle = nullptr;
    QRadioButton* m_pageAll = nullptr;
    QRadioButton* m_linkAll = nullptr;
    QCheckBox* m_pageWholeWord = nullptr;
    QCheckBox* m_pageMatchCase = nullptr;
    QCheckBox* m_linkWholeWord = nullptr;
    QCheckBox* m_linkMatchCase = nullptr;
    CountChoice* m_limit = nullptr;
    QCheckBox* m_noDuplicates = nullptr;
    CountChoice* m_size = nullptr;
    CountChoice* m_links = nullptr;
    ContentTypeList* m_content = nullptr;
    CountChoice* m_children = nullptr;
    CountChoice* m_parents = nullptr;
    CountChoice* m_external = nullptr;
    QRadioButton* m_ratedYes = nullptr;
    QRadioButton* m_violatingYes = nullptr;
    QLineEdit* m_reference = nullptr;
    QHash<int, QRadioButton*> m_yesButtons;
};

} // namespace lurvik
