// Where the game's data files (title.bmp, char.bmp, shoot.wav, bomb.wav) are read from, and the
// few questions about files the layers above ask of the system.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// The working directory comes first, as it always has; an installed game started from another
// folder finds its files in the data folders instead. A plain file name (no '/') is looked up in
// `folders` in order when it is not in the working directory; the first regular file found wins.
// When none has it, or the name has a folder part of its own, the name comes back as given, so
// that the caller's "not found" message names it as before.
std::string findDataFile(const char* name, const std::vector<std::string>& folders);

// The folders an installed game keeps its data in: share/varnis beside the executable's prefix
// (an install moved with --prefix or relocated as a whole), then the folder fixed at build time.
const std::vector<std::string>& installedDataFolders();

// findDataFile over installedDataFolders(); "" for a null name.
std::string dataFilePath(const char* name);

// Opens a regular file for reading ("rb"), with its size in *size when size is not null. Null
// for anything else (a folder, a FIFO, a device), at once and without reading from it: such a
// path counts as not there.
std::FILE* openRegularFile(const std::string& path, uint64_t* size = nullptr);
// openRegularFile(dataFilePath(name)); null for a null name.
std::FILE* openDataFile(const char* name, uint64_t* size = nullptr);

// An existing folder this process may create files in.
bool isWritableFolder(const std::string& path);

// The whole of a file the user names (a script, a recording): a regular file, or a pipe or FIFO,
// which is read like one up to its end. Never more than `limit` bytes, and never a wait for ever
// at the open: a FIFO nothing writes to is refused at once, as are folders and devices. False
// with the reason in one line (no file name) in error.
// The one reader of whole files in the program: data files, pictures, scripts and recordings.
// pipes false: a regular file only (a data file, which a FIFO must never hold up).
bool readWholeFile(const std::string& path, size_t limit, std::string& text, std::string& error,
                   bool pipes = true);

// A regular file stands at the path.
bool isRegularFile(const std::string& path);

// Creates (or empties) a file for a trace written as the run goes; null with the reason in error
// when it cannot be. A write that fails later (a full disk) is said once on standard error, with
// the file's name, and the run goes on with the trace cut there. (On Windows such a late failure
// goes unreported.)
std::FILE* openTraceFile(const std::string& path, std::string& error);

// Puts the file `from` in the place of `to`, replacing what was there; false (errno set) when not.
bool replaceFile(const std::string& from, const std::string& to);

// For the per-system files: the reasons readWholeFile gives.
namespace detail {
std::string tooLarge(size_t limit);
std::string notAFile(bool folder);
}  // namespace detail

}  // namespace platform
