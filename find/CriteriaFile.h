#pragma once

#include "FindCriteria.h"
#include "core/Str.h"

namespace lurvik {

// Why a criteria file could not be written or read. Returned as an int, 0 for success;
// FindCriteria::save and load fold every failure into 1, as their callers only need to know
// whether to go on.
enum class CriteriaFileError : int {
    None = 0,
    OpenFailed,  // the file could not be opened or created
    WriteFailed, // a write or the final rename failed; an earlier file of that name is untouched
    NotCriteria, // shorter than the magic, or another magic: not a criteria file
    Truncated,   // the file ends inside its block, or the block ends before the last field
    Corrupt,     // the block's length is one no writer produces
    ReadFailed,  // the system refused a read
};

// A short English description of a CriteriaFileError code.
const char* criteriaFileErrorText(int code);

// The 12 bytes of the magic; a zero byte follows them in the file.
constexpr char kCriteriaMagic[] = "LURVKCRIT1.0";
constexpr int kCriteriaMagicBytes = 13;

// Writes criteria to file name through a temporary file renamed into place, so a failed save
// leaves any earlier file as it was. savedTime is written as the record holds it. On failure,
// errorText (when given) receives a sentence naming the file and the reason.
[[nodiscard]] int writeCriteriaFile(const FindCriteria& criteria, const Str& name, Str* errorText = nullptr);
// Reads file name into criteria: its fields replace the record's and its content rows are
// appended after the record's own. On failure the record is left exactly as it was.
[[nodiscard]] int readCriteriaFile(const Str& name, FindCriteria& criteria, Str* errorText = nullptr);

} // namespace lurvik
