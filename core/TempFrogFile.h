#pragma once

#include "WritableFrogFile.h"

#include <string_view>

namespace lurvik {

// A scratch file in the temporary directory ($TMPDIR, else /tmp) that exists only as long as
// this object: it is unlinked as soon as it is created, so even a crash leaves nothing behind.
// Written like an OutputFrogFile; compress() then stores its whole content compressed.
class TempFrogFile : public WritableFrogFile {
public:
    // Opens at once; check isOpen() or lastError().
    TempFrogFile();
    ~TempFrogFile() override = default;

    // Writes everything written so far, compressed, to name, which InputFrogFile::openCompressed
    // reads back. As atomic as OutputFrogFile: a failure leaves name as it was. The temporary file
    // stays open and may be written and compressed again.
    [[nodiscard]] int compress(std::string_view name);
    // Drops the content; the file cannot be written again.
    [[nodiscard]] int close() override;

protected:
    void abandonAfterFailure() override;
};

} // namespace lurvik
