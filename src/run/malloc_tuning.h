// How a program that runs conversions sets up the C library's allocator, once, first thing in
// its main (both shells do).
//
// One malloc arena per core rather than one per thread: the run's threads outnumber the cores,
// and an arena of each thread's own would keep the largest file's buffers after the file. A
// large file's buffers are taken from the heap and kept there for the next file, rather than
// mapped and unmapped afresh for each (every new mapping faults its pages in again): only
// buffers of 32 MB and more are mapped, and the heap's free top is given back from 64 MB on.
// The run's memory stays bounded by the files under way.
//
// Contract: process-wide (the allocator's settings); call before any thread starts.
#pragma once

namespace sarnavel {

void tuneMallocForRuns();

}  // namespace sarnavel
