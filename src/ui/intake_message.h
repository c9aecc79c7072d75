// What the desktop program tells the user about the paths of one drop, paste, Ctrl+O or
// command line: the intake's notices (run/intake.h) in Japanese, each path shown readably
// (readable_path.h), one notice a line after a heading.
//
// Two weights. Folders that could not be read, or were moved while they were walked, mean
// files the user asked for are missing from the list: the message says so first and must not
// be missed. Links passed over by design (to a folder, to a file outside what was named) and
// loops only tell what was left out and how to add it. Paths that do not exist and files of
// other kinds are passed over without a word, as they always were.
//
// The text is plain (never rich text: a name may hold '<'), at most about a screenful: past
// kMostNoticeLines the rest of a group is counted ("…ほか N 件"). Pure function.
#pragma once

#include <vector>

#include <QString>

#include "run/intake.h"

namespace sarnavel {

inline constexpr int kMostNoticeLines = 16;

struct IntakeMessage {
  enum class Weight { Nothing, PassedOver, FilesMissing };
  Weight weight = Weight::Nothing;  // the heaviest notice's
  QString text;                     // empty for Nothing
};

IntakeMessage intakeMessage(const std::vector<IntakeNotice>& notices);

}  // namespace sarnavel
