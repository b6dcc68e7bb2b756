#pragma once

namespace lurvik {

// Tells the kernel the calling thread does throughput work, nobody waiting on each step: woken,
// it waits for the running thread's turn to end instead of cutting in. A crawl's threads are woken
// for every reply; cutting in each time switches the core back and forth between them and the
// server's or the window's threads, where letting the running one finish its turn lets each do
// several replies' work per switch. A thread a person waits on (the window's) must not call it.
void markAsBatchWork();

} // namespace lurvik
