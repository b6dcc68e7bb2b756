#include "FindWizard.h"

#include "ContentTypeList.h"
#include "CountChoice.h"
#include "find/ObjectTypes.h"
#include "platform/gui/QtText.h"
#include "retrieval/SiteEngine.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lurvik {

namespace {

constexpr int kHelpContext = 4014;
constexpr int kMaxSearchText = 255;

const QString kTypeAndText = QStringLiteral("Find Wizard: Set Type and Text Criteria");

QVBoxLayout* layoutOf(QWizardPage* page) {
    return static_cast<QVBoxLayout*>(page->layout());
}

// A pair of radio buttons of their own group; the first starts checked.
QRadioButton* addPair(QWizardPage* page, const QString& first, const QString& second, const QString& name) {
    auto* group = new QButtonGroup(page);
    auto* a = new QRadioButton(first, page);
    auto* b = new QRadioButton(second, page);
    a->setObjectName(name + QStringLiteral("First"));
    b->setObjectName(name + QStringLiteral("Second"));
    group->addButton(a);
    group->addButton(b);
    a->setChecked(true);
    auto* row = new QHBoxLayout;
    row->addWidget(a);
    row->addWidget(b);
    row->addStretch();
    layoutOf(page)->addLayout(row);
    return a;
}

} // namespace

FindWizard::FindWizard(const FindHost& host, Finish onFinish, QWidget* parent)
    : QWizard(parent), m_host(host), m_onFinish(std::move(onFinish)) {
    setObjectName(QStringLiteral("FindWizard"));
    setWindowTitle(QStringLiteral("Find Wizard"));
    setWizardStyle(QWizard::ClassicStyle);
    setOptions(QWizard::NoBackButtonOnStartPage | QWizard::HaveHelpButton |
               QWizard::NoCancelButtonOnLastPage);
    m_history.load();
    buildWelcome();
    buildTypePage();
    buildTextPage(
        PageText,
        QStringLiteral("You have decided to search for pages.  Do you want to search for text a page "
                       "contains?"),
        QStringLiteral("Find all &pages contain the following text:"), "page");
    buildPlacesPage(PageTextPlaces, false);
    buildTextPage(
        LinkText,
        QStringLiteral("You have decided to search for links.  Do you want to search for text a link "
                       "contains?"),
        QStringLiteral("Find all &links contain the following text:"), "link");
    buildPlacesPage(LinkTextPlaces, true);
    buildLimitPage();
    buildSizePage();
    buildContentPage();
    buildConnectionsPage();
    buildRatingsPage();
    buildReferencePage();
    buildFinished();
    setStartId(Welcome);
    // The sheet's caption names the page.
    connect(this, &QWizard::currentIdChanged, this, [this](int id) {
        if (QWizardPage* shown = page(id))
            setWindowTitle(shown->title());
    });
    connect(this, &QWizard::helpRequested, this, [this] {
        if (m_host.showHelp)
            m_host.showHelp(kHelpContext);
    });
}

QWizardPage* FindWizard::addQuestionPage(int id, const QString& title, const QString& question) {
    auto* page = new QWizardPage(this);
    page->setTitle(title);
    page->setObjectName(QStringLiteral("page%1").arg(id));
    auto* layout = new QVBoxLayout(page);
    if (!question.isEmpty()) {
        auto* label = new QLabel(question, page);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    setPage(id, page);
    return page;
}

QRadioButton* FindWizard::addYesNo(QWizardPage* page, const char* name) {
    QRadioButton* yesButton = addPair(page, QStringLiteral("&Yes, please"), QStringLiteral("N&o, thank you"),
                                      QString::fromLatin1(name));
    m_yesButtons.insert(page->objectName().mid(4).toInt(), yesButton);
    return yesButton;
}

bool FindWizard::yes(int id) const {
    QRadioButton* button = m_yesButtons.value(id);
    return button && button->isChecked();
}

void FindWizard::buildWelcome() {
    QWizardPage* page = addQuestionPage(
        Welcome, QStringLiteral("Find Wizard: Welcome"),
        QStringLiteral(
            "This wizard helps you find objects in the sites you have retrieved: pages by their text, "
            "size, content, connections, ratings or references, and links of every kind. Each page asks "
            "one question; at the end a Find window opens and searches with your answers."));
    layoutOf(page)->addStretch();
}

void FindWizard::buildTypePage() {
    QWizardPage* page = addQuestionPage(ObjectType, kTypeAndText, QString());
    auto* label = new QLabel(QStringLiteral("What &types of objects are you looking for?"), page);
    m_types = new QListWidget(page);
    m_types->setObjectName(QStringLiteral("objectTypes"));
    label->setBuddy(m_types);
    for (int i = 0; i < kFixedObjectTypes; ++i)
        m_types->addItem(QString::fromLatin1(objectTypeText(i)));
    if (m_host.engine) {
        std::vector<Str> names;
        m_host.engine->typeTable.typeNames(names);
        for (const Str& name : names)
            m_types->addItem(fromStr(name));
    }
    m_types->setCurrentRow(0);
    layoutOf(page)->addWidget(label);
    layoutOf(page)->addWidget(m_types);
}

void FindWizard::buildTextPage(int id, const QString& question, const QString& boxText, const char* prefix) {
    QWizardPage* page = addQuestionPage(id, kTypeAndText, question);
    bool links = id == LinkText;
    addYesNo(page, prefix);
    auto* box = new QComboBox(page);
    box->setObjectName(QString::fromLatin1(prefix) + QStringLiteral("Text"));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->lineEdit()->setMaxLength(kMaxSearchText);
    for (const Str& text : m_history.texts())
        box->addItem(fromStr(text));
    box->setEditText(QString());
    auto* label = new QLabel(boxText, page);
    label->setBuddy(box);
    layoutOf(page)->addWidget(label);
    layoutOf(page)->addWidget(box);
    addPair(page, QStringLiteral("&Any of the words entered above"),
            QStringLiteral("A&ll of of the words entered above"),
            QString::fromLatin1(prefix) + QStringLiteral("Words"));
    auto* wholeWord = new QCheckBox(QStringLiteral("Match &whole word - find only complete words"), page);
    auto* matchCase = new QCheckBox(QStringLiteral("Match &case - find the text with the same case"), page);
    wholeWord->setObjectName(QString::fromLatin1(prefix) + QStringLiteral("WholeWord"));
    matchCase->setObjectName(QString::fromLatin1(prefix) + QStringLiteral("MatchCase"));
    layoutOf(page)->addWidget(wholeWord);
    layoutOf(page)->addWidget(matchCase);
    layoutOf(page)->addStretch();
    auto* all = page->findChild<QRadioButton*>(QString::fromLatin1(prefix) + QStringLiteral("WordsSecond"));
    (links ? m_linkText : m_pageText) = box;
    (links ? m_linkAll : m_pageAll) = all;
    (links ? m_linkWholeWord : m_pageWholeWord) = wholeWord;
    (links ? m_linkMatchCase : m_pageMatchCase) = matchCase;
}

void FindWizard::buildPlacesPage(int id, bool links) {
    QWizardPage* page = addQuestionPage(
        id, kTypeAndText,
        links ? QStringLiteral(
                    "You have decided to search for text; where should the text search look for links?")
              : QStringLiteral("You have decided to search for text; where should the text search look?"));
    auto add = [&](const QString& text, const char* name, bool checked) {
        auto* box = new QCheckBox(text, page);
        box->setObjectName(QString::fromLatin1(name));
        box->setChecked(checked);
        layoutOf(page)->addWidget(box);
        return box;
    };
    if (links) {
        m_linkInURL = add(QStringLiteral("a Link's &URL"), "linkInURL", false);
        m_linkInTitle = add(QStringLiteral("a Link's &title"), "linkInTitle", true);
    } else {
        m_pageInURL = add(QStringLiteral("a Page's &URL"), "pageInURL", false);
        m_pageInTitle = add(QStringLiteral("a Page's &title"), "pageInTitle", true);
        m_pageInBody = add(QStringLiteral("a Page's b&ody"), "pageInBody", false);
    }
    layoutOf(page)->addStretch();
}

void FindWizard::buildLimitPage() {
    QWizardPage* page =
        addQuestionPage(Limit, kTypeAndText,
                        QStringLiteral("Would you like to limit the number of objects that are retrieved?"));
    m_limit = new CountChoice(CountChoice::Operators::None, page);
    m_limit->valueList()->setObjectName(QStringLiteral("resultLimit"));
    auto* label = new QLabel(QStringLiteral("&Retrieve:"), page);
    label->setBuddy(m_limit->valueList());
    m_noDuplicates = new QCheckBox(QStringLiteral("&Do not retrieve copies"), page);
    m_noDuplicates->setObjectName(QStringLiteral("noDuplicates"));
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_limit->valueList());
    row->addStretch();
    layoutOf(page)->addLayout(row);
    layoutOf(page)->addWidget(m_noDuplicates);
    layoutOf(page)->addStretch();
}

void FindWizard::buildSizePage() {
    QWizardPage* page = addQuestionPage(
        SizeAndLinks, QStringLiteral("Find Wizard: Set Page Content Criteria"),
        QStringLiteral("Would you like to look for pages by their size or the number of links they "
                       "contain?"));
    addYesNo(page, "size");
    auto* grid = new QGridLayout;
    auto addRow = [&](int row, const QString& text, const QString& unit, CountChoice*& choice,
                      const char* name) {
        choice = new CountChoice(CountChoice::Operators::Long, page);
        choice->valueList()->setObjectName(QString::fromLatin1(name) + QStringLiteral("Value"));
        choice->operatorList()->setObjectName(QString::fromLatin1(name) + QStringLiteral("Op"));
        auto* label = new QLabel(text, page);
        label->setBuddy(choice->valueList());
        grid->addWidget(label, row, 0, 1, 3);
        grid->addWidget(choice->operatorList(), row + 1, 0);
        grid->addWidget(choice->valueList(), row + 1, 1);
        grid->addWidget(new QLabel(unit, page), row + 1, 2);
    };
    addRow(0, QStringLiteral("Si&ze of the page is:"), QStringLiteral("in KB"), m_size, "size");
    addRow(2, QStringLiteral("Total n&umber of links to other objects is:"), QStringLiteral("per page"),
           m_links, "links");
    layoutOf(page)->addLayout(grid);
    layoutOf(page)->addStretch();
}

void FindWizard::buildContentPage() {
    QWizardPage* page =
        addQuestionPage(Content, QStringLiteral("Find Wizard: Set Page Content Criteria"), QString());
    auto* label =
        new QLabel(QStringLiteral("Would you like to look for pages based on their &contents?"), page);
    m_content = new ContentTypeList(m_host, ContentTypeList::wizardTexts(), page);
    m_content->setObjectName(QStringLiteral("contentTypes"));
    m_content->fillDefault();
    label->setBuddy(m_content);
    layoutOf(page)->addWidget(label);
    layoutOf(page)->addWidget(m_content);
}

void FindWizard::buildConnectionsPage() {
    QWizardPage* page = addQuestionPage(
        Connections, QStringLiteral("Find Wizard: Set Page Connection Criteria"),
        QStringLiteral("Would you like to look for the pages based on their links to other objects?"));
    addYesNo(page, "connections");
    auto* grid = new QGridLayout;
    const QString texts[3] = {QStringLiteral("Number of objects &referenced from the page:"),
                              QStringLiteral("Number of objects that re&ference the page:"),
                              QStringLiteral("Number of references on a &page makes outside this site:")};
    const char* names[3] = {"children", "parents", "external"};
    CountChoice** choices[3] = {&m_children, &m_parents, &m_external};
    for (int i = 0; i < 3; ++i) {
        *choices[i] = new CountChoice(CountChoice::Operators::Long, page);
        (*choices[i])->valueList()->setObjectName(QString::fromLatin1(names[i]) + QStringLiteral("Value"));
        (*choices[i])->operatorList()->setObjectName(QString::fromLatin1(names[i]) + QStringLiteral("Op"));
        auto* label = new QLabel(texts[i], page);
        label->setBuddy((*choices[i])->valueList());
        grid->addWidget(label, 2 * i, 0, 1, 2);
        grid->addWidget((*choices[i])->operatorList(), 2 * i + 1, 0);
        grid->addWidget((*choices[i])->valueList(), 2 * i + 1, 1);
    }
    layoutOf(page)->addLayout(grid);
    layoutOf(page)->addStretch();
}

void FindWizard::buildRatingsPage() {
    QWizardPage* page = addQuestionPage(
        Ratings, QStringLiteral("Find Wizard: Set Page Ratings Criteria"),
        QStringLiteral("Would you like to look for the pages based on the current ratings system settings?"));
    addYesNo(page, "ratings");
    auto pair = [&](const QString& text, const char* name) {
        auto* label = new QLabel(text, page);
        layoutOf(page)->addWidget(label);
        QRadioButton* yesButton =
            addPair(page, QStringLiteral("Yes"), QStringLiteral("No"), QString::fromLatin1(name));
        // The caption's access key needs somewhere to go, or the label shows the "&" itself.
        label->setBuddy(yesButton);
        page->findChild<QRadioButton*>(QString::fromLatin1(name) + QStringLiteral("Second"))
            ->setChecked(true);
        return yesButton;
    };
    m_ratedYes = pair(QStringLiteral("Include pages that are &rated:"), "rated");
    m_violatingYes =
        pair(QStringLiteral("Include pages that &violate the current rating settings:"), "violating");
    layoutOf(page)->addStretch();
}

void FindWizard::buildReferencePage() {
    QWizardPage* page = addQuestionPage(
        Reference, QStringLiteral("Find Wizard: Set Reference Criteria"),
        QStringLiteral(
            "Would you like to find the pages that refer to one exact address?  The address must be "
            "exactly the same as the link on the page."));
    addYesNo(page, "reference");
    m_reference = new QLineEdit(page);
    m_reference->setObjectName(QStringLiteral("referenceURL"));
    layoutOf(page)->addWidget(m_reference);
    layoutOf(page)->addStretch();
}

void FindWizard::buildFinished() {
    QWizardPage* page = addQuestionPage(
        Finished, QStringLiteral("Find Wizard: Finished"),
        QStringLiteral(
            "You have answered every question.  Choose Finish to open a Find window that searches with "
            "your answers at once; you can change them there and search again."));
    layoutOf(page)->addStretch();
    page->setFinalPage(true);
}

int FindWizard::nextId() const {
    int type = m_types->currentRow();
    switch (currentId()) {
    case Welcome:
        return ObjectType;
    case ObjectType:
        return type > OBJECT_INVALID_PAGES ? LinkText : PageText;
    case PageText:
        return yes(PageText) ? PageTextPlaces : SizeAndLinks;
    case PageTextPlaces:
        return Limit;
    case LinkText:
        return yes(LinkText) ? LinkTextPlaces : Finished;
    case LinkTextPlaces:
        return Limit;
    case Limit:
        return m_pagesMode ? SizeAndLinks : Finished;
    case SizeAndLinks:
        return yes(SizeAndLinks) ? Content : Connections;
    case Content:
        return Connections;
    case Connections:
        return Ratings;
    case Ratings:
        return Reference;
    case Reference:
        return Finished;
    default:
        return -1;
    }
}

bool FindWizard::validateCurrentPage() {
    switch (currentId()) {
    case ObjectType:
        m_pagesMode = m_types->currentRow() <= OBJECT_INVALID_PAGES;
        break;
    case PageText:
    case LinkText: {
        m_textEnabled = yes(currentId());
        QComboBox* box = currentId() == PageText ? m_pageText : m_linkText;
        Str text = toStr(box->currentText());
        if (!text.isEmpty()) {
            m_history.add(text);
            m_history.save();
            for (QComboBox* other : {m_pageText, m_linkText}) {
                QString kept = other->currentText();
                other->clear();
                for (const Str& entry : m_history.texts())
                    other->addItem(fromStr(entry));
                other->setEditText(kept);
            }
        }
        break;
    }
    case SizeAndLinks:
        m_contentEnabled = yes(SizeAndLinks);
        break;
    case Connections:
        m_connectionsEnabled = yes(Connections);
        break;
    case Ratings:
        m_ratingsEnabled = yes(Ratings);
        break;
    case Reference:
        m_referenceEnabled = yes(Reference);
        break;
    default:
        break;
    }
    return true;
}

void FindWizard::buildCriteria(FindCriteria& c) const {
    c.clear();
    c.setObjectTypeIndex(m_types->currentRow());
    c.setObjectTypeText(toStr(m_types->currentItem() ? m_types->currentItem()->text() : QString()));
    c.setSizeCriterion(-1, COMPARE_EQUAL);
    c.setLinksCriterion(-1, COMPARE_EQUAL);
    c.setChildrenCriterion(-1, COMPARE_EQUAL);
    c.setParentsCriterion(-1, COMPARE_EQUAL);
    c.setExternalCriterion(-1, COMPARE_EQUAL);
    bool pages = m_pagesMode;
    Str text = toStr((pages ? m_pageText : m_linkText)->currentText().left(kMaxSearchText));
    if (m_textEnabled) {
        if (pages)
            c.setTextCriteria(text, m_pageInURL->isChecked(), m_pageInTitle->isChecked(),
                              m_pageInBody->isChecked(), m_pageWholeWord->isChecked(),
                              m_pageMatchCase->isChecked(), m_noDuplicates->isChecked(),
                              m_pageAll->isChecked());
        else
            c.setTextCriteria(text, m_linkInURL->isChecked(), m_linkInTitle->isChecked(), 0,
                              m_linkWholeWord->isChecked(), m_linkMatchCase->isChecked(),
                              m_noDuplicates->isChecked(), m_linkAll->isChecked());
        c.setResultLimit(m_limit->value());
    } else {
        c.setTextCriteria(text, 0, 0, 0, 0, 0, 0, 0);
        c.setResultLimit(-1);
    }
    if (!pages) {
        c.setContentTypes();
        return;
    }
    if (m_contentEnabled) {
        c.setSizeCriterion(m_size->value(), m_size->op());
        c.setLinksCriterion(m_links->value(), m_links->op());
        c.setContentTypes(m_content->rows());
    } else {
        c.setContentTypes();
    }
    if (m_connectionsEnabled) {
        c.setChildrenCriterion(m_children->value(), m_children->op());
        c.setParentsCriterion(m_parents->value(), m_parents->op());
        c.setExternalCriterion(m_external->value(), m_external->op());
    }
    if (m_ratingsEnabled)
        c.setRatingCriteria(1, m_ratedYes->isChecked(), 1, m_violatingYes->isChecked());
    if (m_referenceEnabled)
        c.setReferenceURL(toStr(m_reference->text()));
}

void FindWizard::done(int result) {
    if (result == QDialog::Accepted && m_onFinish) {
        FindCriteria criteria;
        buildCriteria(criteria);
        m_onFinish(criteria, m_pagesMode && m_contentEnabled);
    }
    QWizard::done(result);
}

} // namespace lurvik
