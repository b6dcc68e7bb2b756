#pragma once

#include "WritableFrogFile.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace lurvik {

class SlicedGzip;

// A scratch file in the temporary directory ($TMPDIR, else /tmp) that exists only as long as
// this object: it is unlinked as soon as it is created, so even a crash leaves nothing behind.
// Written like an OutputFrogFile; compress() then stores its whole content compressed.
class TempFrogFile : public WritableFrogFile {
public:
    // Opens at once; check isOpen() or lastError().
    TempFrogFile();
    ~TempFrogFile() override;

    // Writes everything written so far, compressed, to name, which InputFrogFile::openCompressed
    // reads back. As atomic as OutputFrogFile: a failure leaves name as it was. The temporary file
    // stays open and may be written and compressed again.
    [[nodiscard]] int compress(std::string_view name);
    // Drops the content; the file cannot be written again.
    [[nodiscard]] int close() override;

protected:
    int writeOut(const void* data, size_t n) override;
    void abandonAfterFailure() override;

private:
    int startPacking();
    int compressPacked(std::string_view name);
    void dropPacking();

    uint64_t m_size = 0;
    // Past a size only sites of hundreds of thousands of pages reach, the content is compressed
    // while it is written, into a second scratch file, instead of all at once by compress().
    std::unique_ptr<SlicedGzip> m_packer;
    int m_packedFd = -1;
};

} // namespace lurvik
