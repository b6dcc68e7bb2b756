#pragma once

namespace lurvik::test {

// How much memory a stretch of a test needed at its worst: the resident size's peak since
// startPeakMemory(), less the resident size then, in kilobytes. The kernel's peak is reset, so an
// earlier, larger peak of the same process does not hide this one. -1 when /proc cannot tell or
// the peak could not be reset, so a test checks for it rather than passing on a stale peak.
class PeakMemory {
public:
    PeakMemory();
    long grownKb() const;

private:
    long m_startKb;
};

} // namespace lurvik::test
