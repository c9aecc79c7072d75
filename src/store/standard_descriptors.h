// Descriptors 0, 1 and 2 opened before anything else is.
//
// A program started with standard input, output or error closed would hand those numbers to
// the first files it opens: the log written to "standard output" would then land in a file
// being converted. Called first thing in a program's main, openStandardDescriptors opens each
// of the three that is not open on /dev/null (reading for 0, writing for 1 and 2), so no file
// of a run can ever get one of them. It tells which were closed, so that a shell whose log
// goes to standard output can refuse to run with nowhere to write it.
//
// Contract: touches nothing but descriptors 0 to 2, and only those that are not open; safe to
// call more than once. When /dev/null cannot be opened the descriptor stays closed and
// `failed` says so.
#pragma once

namespace sarnavel {

struct StandardDescriptors {
  bool inputWasClosed = false;
  bool outputWasClosed = false;
  bool errorWasClosed = false;
  bool failed = false;  // one of them could not be opened on /dev/null
};

StandardDescriptors openStandardDescriptors();

}  // namespace sarnavel
