// How a program that runs conversions sets up the C library's allocator, once, first thing in
// its main (both shells do).
//
// One malloc arena per core rather than one per thread: the run's threads outnumber the cores,
// and an arena of each thread's own would keep the largest file's buffers after the file.
// Buffers of 4 MB and more (those of large files) are mapped and given back as soon as they
// are freed: kept in the heap, the buffers a file's conversion lets go (the bytes read, a
// working text) stayed resident beside the ones it still holds, and a file of 12 MB took some
// 30 MB more at its peak (bench/memory_bound.py); mapping them afresh costs a large file only
// its page faults. Smaller buffers come from the heap, whose free top is given back from
// 64 MB on. The run's memory stays bounded by the files under way.
//
// Contract: process-wide (the allocator's settings); call before any thread starts.
#pragma once

namespace sarnavel {

void tuneMallocForRuns();

// Gives the pages the heap keeps free back to the system, wherever they lie (not only its top,
// as the trim threshold does): for the desktop program once a large amount has been let go
// (a run's log and records, a walk's working memory, a long list emptied), which would
// otherwise stay resident until the program ends.
void giveFreedMemoryBack();

}  // namespace sarnavel
