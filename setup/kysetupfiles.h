#pragma once

// What the setup does to the files of the program folder, run by its helper:
// swapping a new version in under a journal, completing or undoing a swap
// that was cut off, removing what a version installed, and removing folder
// trees without following links. Paths are absolute Windows paths.
//
// In the program folder FOLDER:
//   FOLDER\.setup-new\      the new version, unpacked in full by the setup
//   FOLDER\.setup-old\      the files it replaces, moved aside
//   FOLDER\.setup-journal   the swap's plan, written before its first move
//                           and removed after its last: while it exists the
//                           folder may hold old and new files mixed, and the
//                           next run of the setup or the uninstaller
//                           completes the swap (or, if that cannot finish,
//                           undoes it) before anything else
//   FOLDER\.setup-files     the program's files as the last swap left them,
//                           one path (relative, UTF-8) a line: what the next
//                           update no longer ships is removed, and what the
//                           uninstaller removes

#include <functional>
#include <string>

namespace kysetup {

// Exit codes of the helper, as the setup reads them.
enum Result {
    Done = 0,
    // Stopped: the folder is whole (the old version, or the new one when a
    // journal could be completed), nothing else changed.
    Stopped = 2,
};

// Called after every move of a swap with the count of moves so far.
using StepHook = std::function<void(int moves)>;

// Swaps FOLDER\.setup-new in: writes the journal, moves each installed file
// aside into .setup-old and the new one into place, and moves aside what the
// previous version shipped and this one does not; then records the new list,
// removes the journal and both side folders. When a file cannot be moved (a
// program outside our control holds it) every move is undone and `failed`
// names the file. Done or Stopped.
int swapIn(const std::wstring &folder, std::wstring &failed, const StepHook &hook = StepHook());

// Completes a swap that a journal says was cut off, or undoes it when a file
// cannot be moved; then (and without a journal) removes leftover side
// folders. Done when no swap is left half-done, Stopped otherwise.
int recover(const std::wstring &folder);

// Removes the files the last swap recorded in FOLDER\.setup-files and the
// folders that are empty after that, then the list itself.
bool removeInstalledFiles(const std::wstring &folder);

// Removes a file or a folder with everything below it. A link or junction,
// in place of the folder or anywhere below it, is removed as itself and
// never followed: the folders the setup cleans may be written by any
// account, and what a link there leads to is not the program's. True when
// nothing is left at `path`.
bool removeTree(const std::wstring &path);

} // namespace kysetup
