#pragma once

#include "FileReplacement.h"
#include "WritableFrogFile.h"

#include <string_view>

namespace lurvik {

// A file written as a whole: the bytes go to a temporary file beside the target, and only a
// successful close() puts them in place (synced, then renamed over the target). A failed write,
// a failed close, discard() or destruction without close() leave the old target untouched and no
// temporary file behind.
class OutputFrogFile : public WritableFrogFile {
public:
    OutputFrogFile() = default;
    // Opens at once; check isOpen() or lastError().
    explicit OutputFrogFile(std::string_view name, FileAccess access = FileAccess::Default);
    ~OutputFrogFile() override;

    [[nodiscard]] int open(std::string_view name, FileAccess access = FileAccess::Default);
    // Commits the file. Returns the code of an earlier failed write, if any, without committing.
    [[nodiscard]] int close() override;
    // Gives up the file; the target stays as it was.
    void discard();

protected:
    void abandonAfterFailure() override;

private:
    FileReplacement m_replacement;
};

} // namespace lurvik
