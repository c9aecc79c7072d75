// Taking a backup back out of its chain, the reverse of what a write with a backup does
// (file_store.h): the backup goes, and each older generation moves one name back
// (NAME.bak.bak becomes NAME.bak, NAME.bak.bak.bak becomes NAME.bak.bak, ...).
//
// A chain is named by its newest backup and the suffix each generation adds: B, B + s,
// B + s + s, ... up to the first free name. The backup goes first, then each generation moves
// into the free name before it, the newest first, each by a rename that replaces nothing; the
// folder is flushed at the end. A kill at any moment leaves every generation whole under
// one of its two names, with at most one free name inside the chain: closeBackupGap moves the
// generations after it back, which is all that was left to do.
//
// Contract: popBackup changes nothing and says false when the backup is no longer the file
// `expected` describes (another file under the name, or the file changed since it was looked
// at); a generation that cannot move stays where it is (and the chain keeps a gap a later call
// closes). Thread safety: none needed; no state.
#pragma once

#include <filesystem>
#include <string_view>

#include "store/file_identity.h"

namespace sarnavel {

// Removes the backup `backup` (still the file `expected`) from its chain and moves the older
// generations back one name.
bool popBackup(const std::filesystem::path& backup, std::string_view suffix, const FileStamp& expected);

// Moves back the generations after the first free name inside the chain of `backup` (a pop
// that a kill cut short); nothing when the chain has no gap.
void closeBackupGap(const std::filesystem::path& backup, std::string_view suffix);

namespace store_steps {
// The generations after `leaf` in `folder` (leaf + s, leaf + s + s, ...), moved back one name
// each; the folder flushed. Best effort.
void moveGenerationsBack(int folder, const std::string& leaf, std::string_view suffix);
}  // namespace store_steps

}  // namespace sarnavel
