// The firmware image files that ship beside the program: one table slot for each printer
// variant and front-panel culture. A slot holds the file's bare name, or is empty once the file
// was found missing; slots are filled at start and only ever cleared for the rest of the run.
#pragma once

#include <cstddef>

enum ImageSlot : int {
  IMAGE_NETWORK_ASIAN = 0,
  IMAGE_BASE_ASIAN = 1,
  IMAGE_BASE_WESTERN = 2,
  IMAGE_NETWORK_WESTERN = 3,
  IMAGE_SLOT_COUNT = 4,
};

constexpr size_t IMAGE_NAME_CHARS = 32;
constexpr size_t PROGRAM_PATH_CHARS = 260;  // MAX_PATH, terminator included

// The table, process-wide.
extern wchar_t imageFiles[IMAGE_SLOT_COUNT][IMAGE_NAME_CHARS];

// The directory of the running program, ending with a backslash, into `directory`
// (PROGRAM_PATH_CHARS). Returns false, with `directory` empty, when it cannot be found or does
// not fit.
bool GetProgramDirectory(wchar_t* directory);

// The program directory followed by the slot's file name into `path` (PROGRAM_PATH_CHARS).
// Returns false, with `path` empty, when the slot is empty or the whole path does not fit, so a
// long directory never leads to another file.
bool GetImagePath(int slot, wchar_t* path);

// Clears the slot when its file cannot be opened for reading. A path that does not fit is left
// for the workflow to refuse.
void CheckImageFile(int slot);
