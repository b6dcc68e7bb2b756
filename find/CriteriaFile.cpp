#include "CriteriaFile.h"

#include "core/InputFrogFile.h"
#include "core/OutputFrogFile.h"

#include <chrono>
#include <cstring>
#include <ctime>

namespace lurvik {

namespace {

// Criteria texts are typed into single-line fields; a file claiming more is damaged or hostile
// and is refused before the text is allocated.
constexpr int kMaxCriteriaText = 1 << 20;

// The block after the magic. The rating flags go in the file's order (rated, wanted, violating,
// wanted), which is not the record's.
void buildBlock(const FindCriteria& c, MemBlock& block) {
    block.cat(c.author);
    block.cat(c.description);
    catSystemTime(block, c.savedTime);
    block.cat(c.objectTypeText);
    block.cat(c.objectTypeIndex, 4);
    block.cat(c.resultLimit, 4);
    block.cat(c.searchText);
    for (int value : {c.lookInURL,      c.lookInTitle,   c.lookInBody,   c.matchWholeWord, c.matchCase,
                      c.noDuplicates,   c.matchAllWords, c.sizeValue,    c.sizeOp,         c.linksValue,
                      c.linksOp,        c.childrenValue, c.childrenOp,   c.parentsValue,   c.parentsOp,
                      c.externalValue,  c.externalOp,    c.ratedEnabled, c.ratedWanted,    c.violatingEnabled,
                      c.violatingWanted})
        block.cat(value, 4);
    block.cat(c.referenceURL);
    int rows = c.contentTypeNames.len();
    block.cat(rows, 4);
    for (int i = 0; i < rows; ++i) {
        block.cat(*c.contentTypeNames.get(i));
        const int* state = c.contentTypeStates.get(i);
        block.cat(state ? *state : CONTENT_EITHER, 4);
    }
}

// Fields 1 to 30 into c; non-zero at the first that is missing.
int parseFields(MemBlock& block, FindCriteria& c, int& rows) {
    if (block.get(c.author, kMaxCriteriaText) || block.get(c.description, kMaxCriteriaText) ||
        getSystemTime(block, c.savedTime))
        return 1;
    if (block.get(c.objectTypeText, kMaxCriteriaText) || block.get(c.objectTypeIndex, 4) ||
        block.get(c.resultLimit, 4) || block.get(c.searchText, kMaxCriteriaText))
        return 1;
    for (int* field :
         {&c.lookInURL,      &c.lookInTitle,   &c.lookInBody,   &c.matchWholeWord, &c.matchCase,
          &c.noDuplicates,   &c.matchAllWords, &c.sizeValue,    &c.sizeOp,         &c.linksValue,
          &c.linksOp,        &c.childrenValue, &c.childrenOp,   &c.parentsValue,   &c.parentsOp,
          &c.externalValue,  &c.externalOp,    &c.ratedEnabled, &c.ratedWanted,    &c.violatingEnabled,
          &c.violatingWanted})
        if (block.get(*field, 4))
            return 1;
    if (block.get(c.referenceURL, kMaxCriteriaText) || block.get(rows, 4))
        return 1;
    return 0;
}

int failWith(CriteriaFileError code, const Str& name, const char* action, Str* errorText,
             const Str& detail = Str()) {
    // The file classes already name the file and the system's reason.
    if (errorText && !detail.isEmpty())
        *errorText = detail;
    else if (errorText)
        errorText->printf("cannot %s %s: %s", action, name.text(),
                          criteriaFileErrorText(static_cast<int>(code)));
    return static_cast<int>(code);
}

CriteriaFileError readFailure(int frogError) {
    switch (static_cast<FrogFileError>(frogError)) {
    case FrogFileError::EndOfFile:
    case FrogFileError::Truncated:
        return CriteriaFileError::Truncated;
    case FrogFileError::Corrupt:
        return CriteriaFileError::Corrupt;
    default:
        return CriteriaFileError::ReadFailed;
    }
}

} // namespace

const char* criteriaFileErrorText(int code) {
    switch (static_cast<CriteriaFileError>(code)) {
    case CriteriaFileError::None:
        return "no error";
    case CriteriaFileError::OpenFailed:
        return "the file could not be opened";
    case CriteriaFileError::WriteFailed:
        return "the file could not be written";
    case CriteriaFileError::NotCriteria:
        return "not a find criteria file";
    case CriteriaFileError::Truncated:
        return "the criteria file is cut short";
    case CriteriaFileError::Corrupt:
        return "the criteria file is damaged";
    case CriteriaFileError::ReadFailed:
        return "the file could not be read";
    }
    return "unknown criteria file error";
}

int writeCriteriaFile(const FindCriteria& criteria, const Str& name, Str* errorText) {
    OutputFrogFile file;
    if (file.open(name.view()) != 0 || !file.isOpen())
        return failWith(CriteriaFileError::OpenFailed, name, "create", errorText, file.errorText());
    MemBlock block;
    buildBlock(criteria, block);
    if (file.write(kCriteriaMagic, kCriteriaMagicBytes) != 0 || file.write(block) != 0 || file.close() != 0)
        return failWith(CriteriaFileError::WriteFailed, name, "write", errorText, file.errorText());
    return 0;
}

int readCriteriaFile(const Str& name, FindCriteria& criteria, Str* errorText) {
    InputFrogFile file;
    if (file.open(name.view()) != 0 || !file.isOpen())
        return failWith(CriteriaFileError::OpenFailed, name, "open", errorText, file.errorText());
    char magic[kCriteriaMagicBytes];
    if (int error = file.readExact(magic, kCriteriaMagicBytes)) {
        CriteriaFileError code = readFailure(error) == CriteriaFileError::ReadFailed
                                     ? CriteriaFileError::ReadFailed
                                     : CriteriaFileError::NotCriteria;
        return failWith(code, name, "read", errorText);
    }
    if (std::memcmp(magic, kCriteriaMagic, kCriteriaMagicBytes) != 0)
        return failWith(CriteriaFileError::NotCriteria, name, "read", errorText);
    MemBlock block;
    if (int error = file.read(block))
        return failWith(readFailure(error), name, "read", errorText);

    // Read into a copy, so that a file that ends early changes nothing the caller holds.
    FindCriteria loaded = criteria;
    int rows = 0;
    if (parseFields(block, loaded, rows) != 0)
        return failWith(CriteriaFileError::Truncated, name, "read", errorText);
    // The writer counted the rows it wrote; a block that holds fewer is trusted as far as it goes.
    for (int i = 0; i < rows; ++i) {
        Str rowName;
        int state = 0;
        if (block.get(rowName, kMaxCriteriaText) || block.get(state, 4))
            break;
        loaded.addContentType(rowName, state);
    }
    criteria = loaded;
    return 0;
}

int FindCriteria::save(Str* errorText) {
    savedTime = localTimeNow();
    return writeCriteriaFile(*this, fileName, errorText) == 0 ? 0 : 1;
}

int FindCriteria::load(Str* errorText) {
    return readCriteriaFile(fileName, *this, errorText) == 0 ? 0 : 1;
}

} // namespace lurvik
