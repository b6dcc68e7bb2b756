#pragma once

#include "core/PtrList.h"
#include "core/Str.h"
#include "core/SystemTime.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace lurvik {

// How a count criterion compares the page's count with its value; any other code never holds.
enum CompareOp {
    COMPARE_EQUAL = 0,
    COMPARE_LESS = 1,
    COMPARE_LESS_OR_EQUAL = 2,
    COMPARE_GREATER = 3,
    COMPARE_GREATER_OR_EQUAL = 4,
    COMPARE_NOT_EQUAL = 5,
};

// What a content row asks of a page.
enum ContentState {
    CONTENT_EXCLUDE = 0, // the page must not contain an object of the row's type
    CONTENT_INCLUDE = 1, // the page must contain at least one
    CONTENT_EITHER = 2,  // the type is not tested
};

// One row of a content type list: a content type name and its ContentState.
struct ContentTypeRow {
    Str name;
    int state = CONTENT_EITHER;
};

// One search of the retrieved site: what the Find window, the Find Wizard and the command line
// fill in, the search engine reads and a criteria file stores. Every criterion that is switched
// off matches everything; a count criterion is off with the value -1. Beside the criteria it
// carries what a saved criteria file says about itself.
//
// The record owns the entries of its three lists. A search reads it on the search thread, so it
// must not change while a search runs; the engine writes seenTypeNames only.
class FindCriteria {
public:
    using Time = SystemTime;

    FindCriteria();
    ~FindCriteria();
    FindCriteria(const FindCriteria& other);
    FindCriteria& operator=(const FindCriteria& other);

    // Every field back to its cleared value. The five count pairs clear to a value that is in
    // force (65 KB, 51 links...), so every builder sets all five before a search.
    void clear();

    void setObjectTypeText(const Str& text) { objectTypeText = text; }
    void setObjectTypeIndex(int index) { objectTypeIndex = index; }
    void setResultLimit(int limit) { resultLimit = limit; }
    void setReferenceURL(const Str& url) { referenceURL = url; }
    void setAuthor(const Str& text) { author = text; }
    void setDescription(const Str& text) { description = text; }
    void setFileName(const Str& name) { fileName = name; }
    void setTextCriteria(const Str& text, int inURL, int inTitle, int inBody, int wholeWord, int caseMatch,
                         int dropDuplicates, int allWords);
    void setSizeCriterion(int value, int op);
    void setLinksCriterion(int value, int op);
    void setChildrenCriterion(int value, int op);
    void setParentsCriterion(int value, int op);
    void setExternalCriterion(int value, int op);
    void setRatingCriteria(int ratedOn, int ratedYes, int violatingOn, int violatingYes);
    // Appends one row per entry, in order. Without rows it appends the one row ("Images", 2),
    // as the controls give when their list is empty.
    void setContentTypes(const std::vector<ContentTypeRow>& rows);
    void setContentTypes();
    // Appends one row, the list's entries being owned by the record.
    void addContentType(const Str& name, int state);

    // "All" or an empty text: -1 (off); anything else its decimal value as Str::toInt reads it.
    static int parseCountValue(const Str& text);
    // Whether actual stands to value as the CompareOp says.
    static bool compareCount(int value, int actual, int op);

    // The criteria file (CriteriaFile.h): 0 on success, 1 on any failure, with the reason in
    // errorText when one is given. save stamps savedTime and writes fileName atomically; load
    // reads fileName and, on failure, leaves the record as it was. load does not clear first: its
    // fields replace these and its content rows are appended after any rows already here.
    [[nodiscard]] int save(Str* errorText = nullptr);
    [[nodiscard]] int load(Str* errorText = nullptr);

    PtrList<Str> contentTypeNames;
    PtrList<int> contentTypeStates; // a ContentState for each of contentTypeNames
    PtrList<Str> seenTypeNames;     // the engine's scratch for one page; never saved
    Str objectTypeText;
    int objectTypeIndex = 0;
    int resultLimit = -1;
    Str searchText;
    int lookInURL = 0;
    int lookInTitle = 1;
    int lookInBody = 0;
    int matchWholeWord = 0;
    int matchCase = 0;
    int noDuplicates = 0;
    int matchAllWords = 0;
    int sizeValue = 65, sizeOp = 0;
    int linksValue = 51, linksOp = 0;
    int childrenValue = 51, childrenOp = 0;
    int parentsValue = 51, parentsOp = 0;
    int externalValue = 51, externalOp = 0;
    int ratedEnabled = 0;
    int violatingEnabled = 0;
    int ratedWanted = 0;
    int violatingWanted = 0;
    Str referenceURL;
    Str author;
    Str description;
    Time savedTime;
    Str fileName;

private:
    void freeLists();
};

} // namespace lurvik
