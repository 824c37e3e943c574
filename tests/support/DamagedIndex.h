#pragma once

// Index files damaged where the quick check at open does not look, made with
// SQLite itself: reads of them return without an error, and only the full
// integrity check (or a write that meets the damage) finds it.

#include <string>
#include <vector>

namespace tess::test {

enum class HiddenDamage {
    // The index over scan root, issues and relative path holds the entries
    // of the first third of the rows only: rebuilt while its schema said it
    // was partial (writable_schema), then declared whole again.
    missingIndexEntries,
    // A leaf page of that index (found through dbstat) written over another
    // of its leaf pages: one run of entries twice, another missing.
    copiedIndexPage,
};

const char* nameOf(HiddenDamage damage);
std::vector<HiddenDamage> allHiddenDamages();

// Damages the closed index file at `path` (no connection may be open on it);
// fails the test when the file does not lend itself (too few rows for a
// page to copy) or when the quick check would see the damage.
void damageUnseen(const std::string& path, HiddenDamage damage);

// Writes the next-to-last leaf page of the b-tree `tree` (a table or an
// index, its pages found through dbstat) over its last one, in the closed
// file at `path`. For the table file_index the quick check sees it (row ids
// out of order), when it has the time to read that far.
void copyLeafPage(const std::string& path, const std::string& tree);

// The answers of PRAGMA quick_check or integrity_check on the file, joined
// by "; " ("ok" for a sound file).
std::string quickCheckOf(const std::string& path);
std::string integrityCheckOf(const std::string& path);

}  // namespace tess::test
