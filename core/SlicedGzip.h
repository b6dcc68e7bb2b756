#pragma once

namespace lurvik {

// The outcome of gzipInSlices: 0, or the errno of the read or the write that failed.
struct SlicedGzipResult {
    int readError = 0;
    int writeError = 0;
};

// Writes the whole content of inFd (read with pread from offset 0 to its size at the call) to
// outFd as one gzip member, compressed in slices of a few megabytes on up to threads threads at
// once. A site map of a million pages is a gigabyte before compression, which one thread needs
// most of the save to compress. Each slice starts from the previous slice's last 32 KB, as one
// stream would, so the file is hardly bigger than a one-thread gzip at the same level, and any
// gzip reader reads it.
SlicedGzipResult gzipInSlices(int inFd, int outFd, int level, int threads);

} // namespace lurvik
