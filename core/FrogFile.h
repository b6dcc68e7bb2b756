#pragma once

#include "Str.h"

#include <cstddef>
#include <string_view>

namespace lurvik {

// What went wrong in a file operation. Every operation of the file classes returns one of these
// as an int, 0 for success.
enum class FrogFileError : int {
    None = 0,
    NotOpen,       // the operation needs an open file
    AlreadyOpen,   // open on a file that is still open
    OpenFailed,    // the file (or the temporary file beside it) could not be opened or created
    ReadFailed,    // the system refused a read
    WriteFailed,   // the system refused a write; the file is abandoned
    EndOfFile,     // nothing is left to read
    Truncated,     // the file ends inside a block or before the bytes asked for
    Corrupt,       // a block length no writer produces, or compressed data that do not decode
    NotCompressed, // openCompressed on a file that is not compressed data
    SaveFailed,    // syncing or renaming the finished file failed; the old file is untouched
};

// The largest block write(const MemBlock&) stores and read(MemBlock&) accepts: a length beyond it
// can only come from a damaged file, and must not become an allocation.
constexpr int kMaxFrogBlock = 1 << 30;

// A short English description of a FrogFileError code.
const char* frogFileErrorText(int code);

// One read(2) of up to n bytes from fd, made again when a signal cuts it short: -1 only for a
// failure of the read itself (errno says which), 0 at the end of the file.
long readRetrying(int fd, void* data, size_t n);

// Base of the file classes: owns the file descriptor and remembers the last failure so that the
// user interface can say why a save or load failed. Not copyable; one thread at a time.
class FrogFile {
public:
    FrogFile() = default;
    FrogFile(const FrogFile&) = delete;
    FrogFile& operator=(const FrogFile&) = delete;
    virtual ~FrogFile();

    bool isOpen() const { return m_fd >= 0; }
    // 0 on success; what closing means (committing, discarding) is up to each file class.
    [[nodiscard]] virtual int close();

    // The code of the last failure, 0 while nothing has failed.
    int lastError() const { return m_lastError; }
    // The last failure as a sentence for the user: "cannot write /x/site.web: No space left on
    // device". Empty while nothing has failed.
    const Str& errorText() const { return m_errorText; }
    // The name the file was opened under (the target, for files written through a temporary).
    const Str& name() const { return m_name; }

protected:
    // Records a failure and returns its code. systemError is an errno value, or 0 when the code
    // itself says enough.
    int fail(FrogFileError code, std::string_view action, int systemError = 0) {
        return failOn(m_name.view(), code, action, systemError);
    }
    // The same, naming another file than this one in the text.
    int failOn(std::string_view subject, FrogFileError code, std::string_view action, int systemError);
    // Closes the descriptor only; for subclasses that have already done their own work.
    void closeDescriptor();
    void clearError();

    int m_fd = -1;
    Str m_name;

private:
    int m_lastError = 0;
    Str m_errorText;
};

} // namespace lurvik
