#include "CriteriaTabs.h"

#include "ContentTypeList.h"
#include "CountChoice.h"
#include "FindHost.h"
#include "find/ObjectTypes.h"
#include "platform/gui/QtText.h"
#include "retrieval/SiteEngine.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lurvik {

namespace {

constexpr int kMaxSearchText = 255;

template <typename Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* labelFor(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

// One count criterion's row: its label, the value list and the operator list.
void addCountRow(QGridLayout* grid, int row, const QString& text, CountChoice* choice, QWidget* page) {
    grid->addWidget(labelFor(text, choice->valueList(), page), row, 0);
    grid->addWidget(choice->valueList(), row, 1);
    grid->addWidget(choice->operatorList(), row, 2);
}

bool isPageType(int index) {
    return index <= OBJECT_INVALID_PAGES;
}

} // namespace

CriteriaTabs::CriteriaTabs(const FindHost& host, QWidget* parent) : QTabWidget(parent), m_host(host) {
    setObjectName(QStringLiteral("criteriaTabs"));
    addTab(typeAndTextPage(), QStringLiteral("Type and Text"));
    addTab(contentPage(), QStringLiteral("Page Content"));
    addTab(connectionsPage(), QStringLiteral("Page Connections"));
    addTab(ratingPage(), QStringLiteral("Page Rating"));
    addTab(referencePage(), QStringLiteral("Reference"));
}

QWidget* CriteriaTabs::typeAndTextPage() {
    auto* page = new QWidget(this);
    m_type = named(new QComboBox(page), "objectType");
    fillTypes();
    m_text = named(new QComboBox(page), "searchText");
    m_text->setEditable(true);
    m_text->setInsertPolicy(QComboBox::NoInsert);
    m_text->lineEdit()->setMaxLength(kMaxSearchText);
    m_inURL = named(new QCheckBox(QStringLiteral("&URL"), page), "lookInURL");
    m_inTitle = named(new QCheckBox(QStringLiteral("Tit&le"), page), "lookInTitle");
    m_inBody = named(new QCheckBox(QStringLiteral("&Body"), page), "lookInBody");
    m_limit = new CountChoice(CountChoice::Operators::None, page);
    m_limit->valueList()->setObjectName(QStringLiteral("resultLimit"));
    m_noDuplicates = named(new QCheckBox(QStringLiteral("Do&n't show duplicates"), page), "noDuplicates");
    m_wholeWord = named(new QCheckBox(QStringLiteral("Match wh&ole word"), page), "matchWholeWord");
    m_matchCase = named(new QCheckBox(QStringLiteral("Match &case"), page), "matchCase");
    m_any = named(new QRadioButton(QStringLiteral("An&y"), page), "anyWords");
    m_all = named(new QRadioButton(QStringLiteral("&All"), page), "allWords");

    auto* grid = new QGridLayout(page);
    grid->addWidget(labelFor(QStringLiteral("Of ty&pe:"), m_type, page), 0, 0);
    grid->addWidget(m_type, 0, 1, 1, 3);
    grid->addWidget(labelFor(QStringLiteral("Containing te&xt:"), m_text, page), 1, 0);
    grid->addWidget(m_text, 1, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Look in:"), page), 2, 0);
    grid->addWidget(m_inURL, 2, 1);
    grid->addWidget(m_inTitle, 2, 2);
    grid->addWidget(m_inBody, 2, 3);
    grid->addWidget(labelFor(QStringLiteral("Li&mit returns to:"), m_limit->valueList(), page), 3, 0);
    grid->addWidget(m_limit->valueList(), 3, 1);
    grid->addWidget(m_noDuplicates, 3, 2, 1, 2);
    grid->addWidget(m_wholeWord, 4, 1);
    grid->addWidget(m_matchCase, 4, 2);
    auto* words = new QHBoxLayout;
    words->addWidget(new QLabel(QStringLiteral("Search for:"), page));
    words->addWidget(m_any);
    words->addWidget(m_all);
    words->addWidget(new QLabel(QStringLiteral("of the text strings entered"), page));
    words->addStretch();
    grid->addLayout(words, 5, 0, 1, 4);
    grid->setRowStretch(6, 1);

    connect(m_type, &QComboBox::currentIndexChanged, this, &CriteriaTabs::typeChanged);
    for (QCheckBox* box : {m_inURL, m_inTitle, m_inBody})
        connect(box, &QCheckBox::toggled, this, &CriteriaTabs::lookInChanged);
    return page;
}

QWidget* CriteriaTabs::contentPage() {
    auto* page = new QWidget(this);
    m_size = new CountChoice(CountChoice::Operators::Short, page);
    m_size->valueList()->setObjectName(QStringLiteral("sizeValue"));
    m_size->operatorList()->setObjectName(QStringLiteral("sizeOp"));
    m_links = new CountChoice(CountChoice::Operators::Short, page);
    m_links->valueList()->setObjectName(QStringLiteral("linksValue"));
    m_links->operatorList()->setObjectName(QStringLiteral("linksOp"));
    m_content = named(new ContentTypeList(m_host, ContentTypeList::findWindowTexts(), page), "contentTypes");
    m_content->fillDefault();
    auto* grid = new QGridLayout(page);
    addCountRow(grid, 0, QStringLiteral("Si&ze of a page (in KB):"), m_size, page);
    addCountRow(grid, 1, QStringLiteral("Number of &links per page:"), m_links, page);
    grid->addWidget(m_content, 2, 0, 1, 3);
    grid->setRowStretch(2, 1);
    return page;
}

QWidget* CriteriaTabs::connectionsPage() {
    auto* page = new QWidget(this);
    auto* grid = new QGridLayout(page);
    const char* names[3][2] = {
        {"childrenValue", "childrenOp"}, {"parentsValue", "parentsOp"}, {"externalValue", "externalOp"}};
    const QString texts[3] = {QStringLiteral("Number of referred pages (&children):"),
                              QStringLiteral("Number of referring pages (&parents):"),
                              QStringLiteral("Number of e&xternal links per page:")};
    CountChoice** choices[3] = {&m_children, &m_parents, &m_external};
    for (int i = 0; i < 3; ++i) {
        *choices[i] = new CountChoice(CountChoice::Operators::Short, page);
        (*choices[i])->valueList()->setObjectName(QString::fromLatin1(names[i][0]));
        (*choices[i])->operatorList()->setObjectName(QString::fromLatin1(names[i][1]));
        addCountRow(grid, i, texts[i], *choices[i], page);
    }
    grid->setRowStretch(3, 1);
    return page;
}

QWidget* CriteriaTabs::ratingPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto addPair = [&](const QString& text, const char* name, QCheckBox*& box, QRadioButton*& yes,
                       QRadioButton*& no) {
        box = named(new QCheckBox(text, page), name);
        auto* group = new QGroupBox(page);
        yes = named(new QRadioButton(QStringLiteral("Yes"), group), (std::string(name) + "Yes").c_str());
        no = named(new QRadioButton(QStringLiteral("No"), group), (std::string(name) + "No").c_str());
        auto* row = new QHBoxLayout(group);
        row->addWidget(yes);
        row->addWidget(no);
        row->addStretch();
        layout->addWidget(box);
        layout->addWidget(group);
        connect(box, &QCheckBox::toggled, this, &CriteriaTabs::ratingChanged);
    };
    addPair(QStringLiteral("Include pages that are &rated:"), "rated", m_rated, m_ratedYes, m_ratedNo);
    addPair(QStringLiteral("Include pages that vi&olate the current rating settings:"), "violating",
            m_violating, m_violatingYes, m_violatingNo);
    layout->addStretch();
    return page;
}

QWidget* CriteriaTabs::referencePage() {
    auto* page = new QWidget(this);
    m_reference = named(new QLineEdit(page), "referenceURL");
    auto* note =
        new QLabel(QStringLiteral("The URL entered above much be exactly the same as the object you are "
                                  "looking for.  This criteria will only work for exact matches.\n\n"
                                  "Example: http://www.orvanne.example/lurvik/index.html"),
                   page);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(
        labelFor(QStringLiteral("Find pages that refer to the following &URL:"), m_reference, page));
    layout->addWidget(m_reference);
    layout->addWidget(note);
    layout->addStretch();
    return page;
}

void CriteriaTabs::fillTypes() {
    for (int i = 0; i < kFixedObjectTypes; ++i)
        m_type->addItem(QString::fromLatin1(objectTypeText(i)));
    if (!m_host.engine)
        return;
    std::vector<Str> names;
    m_host.engine->typeTable.typeNames(names);
    for (const Str& name : names)
        m_type->addItem(fromStr(name));
}

void CriteriaTabs::setHistory(const std::vector<Str>& texts) {
    QString current = m_text->currentText();
    m_text->clear();
    for (const Str& text : texts)
        m_text->addItem(fromStr(text));
    m_text->setEditText(current);
}

void CriteriaTabs::buildCriteria(FindCriteria& c) const {
    c.clear();
    c.setObjectTypeText(toStr(m_type->currentText()));
    c.setObjectTypeIndex(m_type->currentIndex());
    c.setTextCriteria(toStr(m_text->currentText().left(kMaxSearchText)), m_inURL->isChecked(),
                      m_inTitle->isChecked(), m_inBody->isChecked(), m_wholeWord->isChecked(),
                      m_matchCase->isChecked(), m_noDuplicates->isChecked(), m_all->isChecked());
    c.setResultLimit(m_limit->value());
    c.setSizeCriterion(m_size->value(), m_size->op());
    c.setLinksCriterion(m_links->value(), m_links->op());
    c.setChildrenCriterion(m_children->value(), m_children->op());
    c.setParentsCriterion(m_parents->value(), m_parents->op());
    c.setExternalCriterion(m_external->value(), m_external->op());
    c.setContentTypes(m_content->rows());
    c.setRatingCriteria(m_rated->isChecked(), m_ratedYes->isChecked(), m_violating->isChecked(),
                        m_violatingYes->isChecked());
    c.setReferenceURL(toStr(m_reference->text()));
}

void CriteriaTabs::loadControls(const FindCriteria& c, bool loadContent) {
    int type = c.objectTypeIndex < 0 ? 0 : c.objectTypeIndex;
    m_type->setCurrentIndex(type < m_type->count() ? type : 0);
    m_text->setEditText(fromStr(c.searchText));
    m_inURL->setChecked(c.lookInURL);
    m_inTitle->setChecked(c.lookInTitle);
    m_inBody->setChecked(c.lookInBody);
    m_wholeWord->setChecked(c.matchWholeWord);
    m_matchCase->setChecked(c.matchCase);
    m_noDuplicates->setChecked(c.noDuplicates);
    (c.matchAllWords ? m_all : m_any)->setChecked(true);
    m_limit->set(c.resultLimit, COMPARE_EQUAL);
    m_size->set(c.sizeValue, c.sizeOp);
    m_links->set(c.linksValue, c.linksOp);
    m_children->set(c.childrenValue, c.childrenOp);
    m_parents->set(c.parentsValue, c.parentsOp);
    m_external->set(c.externalValue, c.externalOp);
    if (isPageType(c.objectTypeIndex) && loadContent)
        m_content->loadRows(c);
    m_rated->setChecked(c.ratedEnabled);
    (c.ratedWanted ? m_ratedYes : m_ratedNo)->setChecked(true);
    m_violating->setChecked(c.violatingEnabled);
    (c.violatingWanted ? m_violatingYes : m_violatingNo)->setChecked(true);
    m_reference->setText(fromStr(c.referenceURL));
    typeChanged();
    lookInChanged();
}

void CriteriaTabs::resetControls() {
    m_text->setEditText(QString());
    m_text->setEnabled(true);
    m_inTitle->setChecked(true);
    m_any->setChecked(true);
    for (QCheckBox* box : {m_inURL, m_inBody, m_noDuplicates, m_wholeWord, m_matchCase, m_rated, m_violating})
        box->setChecked(false);
    m_type->setCurrentIndex(0);
    for (CountChoice* choice : {m_limit, m_size, m_links, m_children, m_parents, m_external})
        choice->set(-1, COMPARE_EQUAL);
    if (m_content->topLevelItemCount() < kFixedContentTypes)
        m_content->fillDefault();
    m_content->resetStates();
    m_ratedNo->setChecked(true);
    m_violatingNo->setChecked(true);
    m_reference->clear();
    typeChanged();
    ratingChanged();
    lookInChanged();
}

void CriteriaTabs::typeChanged() {
    bool pages = isPageType(m_type->currentIndex());
    if (!pages) {
        m_inBody->setChecked(false);
        m_reference->clear();
        m_content->resetStates();
    }
    m_inBody->setEnabled(pages);
    m_reference->setEnabled(pages);
    m_content->setEnabled(pages);
    m_rated->setEnabled(pages);
    m_violating->setEnabled(pages);
    ratingChanged();
    lookInChanged();
}

void CriteriaTabs::lookInChanged() {
    m_text->setEnabled(m_inURL->isChecked() || m_inTitle->isChecked() || m_inBody->isChecked());
}

void CriteriaTabs::ratingChanged() {
    bool pages = isPageType(m_type->currentIndex());
    for (QRadioButton* button : {m_ratedYes, m_ratedNo})
        button->setEnabled(pages && m_rated->isChecked());
    for (QRadioButton* button : {m_violatingYes, m_violatingNo})
        button->setEnabled(pages && m_violating->isChecked());
}

} // namespace lurvik
