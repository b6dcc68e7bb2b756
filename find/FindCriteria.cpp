#include "FindCriteria.h"

namespace lurvik {

FindCriteria::FindCriteria() {
    clear();
}

FindCriteria::~FindCriteria() {
    freeLists();
}

FindCriteria::FindCriteria(const FindCriteria& other) {
    *this = other;
}

FindCriteria& FindCriteria::operator=(const FindCriteria& other) {
    if (this == &other)
        return *this;
    clear();
    objectTypeText = other.objectTypeText;
    objectTypeIndex = other.objectTypeIndex;
    resultLimit = other.resultLimit;
    searchText = other.searchText;
    lookInURL = other.lookInURL;
    lookInTitle = other.lookInTitle;
    lookInBody = other.lookInBody;
    matchWholeWord = other.matchWholeWord;
    matchCase = other.matchCase;
    noDuplicates = other.noDuplicates;
    matchAllWords = other.matchAllWords;
    sizeValue = other.sizeValue;
    sizeOp = other.sizeOp;
    linksValue = other.linksValue;
    linksOp = other.linksOp;
    childrenValue = other.childrenValue;
    childrenOp = other.childrenOp;
    parentsValue = other.parentsValue;
    parentsOp = other.parentsOp;
    externalValue = other.externalValue;
    externalOp = other.externalOp;
    ratedEnabled = other.ratedEnabled;
    violatingEnabled = other.violatingEnabled;
    ratedWanted = other.ratedWanted;
    violatingWanted = other.violatingWanted;
    referenceURL = other.referenceURL;
    author = other.author;
    description = other.description;
    savedTime = other.savedTime;
    fileName = other.fileName;
    for (const Str* name : other.contentTypeNames)
        contentTypeNames.add(new Str(*name));
    for (const int* state : other.contentTypeStates)
        contentTypeStates.add(new int(*state));
    for (const Str* name : other.seenTypeNames)
        seenTypeNames.add(new Str(*name));
    return *this;
}

void FindCriteria::freeLists() {
    deleteAll(contentTypeNames);
    deleteAll(contentTypeStates);
    deleteAll(seenTypeNames);
}

void FindCriteria::clear() {
    freeLists();
    objectTypeText.clear();
    objectTypeIndex = 0;
    resultLimit = -1;
    searchText.clear();
    lookInURL = 0;
    lookInTitle = 1;
    lookInBody = 0;
    matchWholeWord = 0;
    matchCase = 0;
    noDuplicates = 0;
    matchAllWords = 0;
    sizeValue = 65;
    sizeOp = 0;
    linksValue = childrenValue = parentsValue = externalValue = 51;
    linksOp = childrenOp = parentsOp = externalOp = 0;
    ratedEnabled = violatingEnabled = ratedWanted = violatingWanted = 0;
    referenceURL.clear();
    author.clear();
    description.clear();
    savedTime = Time{};
    fileName.clear();
}

void FindCriteria::setTextCriteria(const Str& text, int inURL, int inTitle, int inBody, int wholeWord,
                                   int caseMatch, int dropDuplicates, int allWords) {
    searchText = text;
    lookInURL = inURL;
    lookInTitle = inTitle;
    lookInBody = inBody;
    matchWholeWord = wholeWord;
    matchCase = caseMatch;
    noDuplicates = dropDuplicates;
    matchAllWords = allWords;
}

void FindCriteria::setSizeCriterion(int value, int op) {
    sizeValue = value;
    sizeOp = op;
}

void FindCriteria::setLinksCriterion(int value, int op) {
    linksValue = value;
    linksOp = op;
}

void FindCriteria::setChildrenCriterion(int value, int op) {
    childrenValue = value;
    childrenOp = op;
}

void FindCriteria::setParentsCriterion(int value, int op) {
    parentsValue = value;
    parentsOp = op;
}

void FindCriteria::setExternalCriterion(int value, int op) {
    externalValue = value;
    externalOp = op;
}

void FindCriteria::setRatingCriteria(int ratedOn, int ratedYes, int violatingOn, int violatingYes) {
    ratedEnabled = ratedOn;
    ratedWanted = ratedYes;
    violatingEnabled = violatingOn;
    violatingWanted = violatingYes;
}

void FindCriteria::addContentType(const Str& name, int state) {
    contentTypeNames.add(new Str(name));
    contentTypeStates.add(new int(state));
}

void FindCriteria::setContentTypes(const std::vector<ContentTypeRow>& rows) {
    for (const ContentTypeRow& row : rows)
        addContentType(row.name, row.state);
}

void FindCriteria::setContentTypes() {
    addContentType("Images", CONTENT_EITHER);
}

int FindCriteria::parseCountValue(const Str& text) {
    if (text.isEmpty() || text == "All")
        return -1;
    return text.toInt();
}

bool FindCriteria::compareCount(int value, int actual, int op) {
    switch (op) {
    case COMPARE_EQUAL:
        return actual == value;
    case COMPARE_LESS:
        return actual < value;
    case COMPARE_LESS_OR_EQUAL:
        return actual <= value;
    case COMPARE_GREATER:
        return actual > value;
    case COMPARE_GREATER_OR_EQUAL:
        return actual >= value;
    case COMPARE_NOT_EQUAL:
        return actual != value;
    default:
        return false;
    }
}

} // namespace lurvik
