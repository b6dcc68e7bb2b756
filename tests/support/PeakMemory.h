#pragma once

namespace lurvik::test {

// How much memory a stretch of a test needed at its worst: the resident size's peak since this
// object was made, less the resident size then, in kilobytes. The kernel's peak is reset first, so
// an earlier, larger peak of the same process does not hide this one.
class PeakMemory {
public:
    PeakMemory();
    // False when /proc could not reset or tell the peak: a test checks it rather than passing on a
    // stale figure.
    bool isMeasured() const { return m_startKb >= 0; }
    // 0 when nothing grew (the resident size may even shrink meanwhile).
    long grownKb() const;

private:
    long m_startKb;
};

} // namespace lurvik::test
