// Files named from outside the station (the command line, the settings folder,
// a file chosen for playback): opened so that nothing can block, and folders
// made as a path needs them.
//
// An open of a named pipe waits for a writer, and a read from a device or pipe
// may wait for ever; either would stall the thread that tries it (the main
// thread: then neither --run-for nor SIGTERM could end the station). The open
// here never waits (O_NONBLOCK) and keeps only a regular file.
#pragma once

#include <sys/types.h>

#include <string>

namespace hv {

// Opens `path` for reading. Returns a descriptor in blocking mode on a regular
// file, or -1 with `why` saying what was wrong ("is a named pipe, not a file",
// or the system's error text; errno is left set).
int OpenRegularFile(const std::string& path, std::string* why);
// True when `path` can be opened as above (the descriptor is closed again).
bool CheckRegularFile(const std::string& path, std::string* why);

// Creates `folder` and any missing parents: parents with 0777 (less the
// umask), the last folder with `mode`. True when the folder exists afterwards
// (created now or before); else false with `why` naming the part that failed.
bool CreateFolderPath(const std::string& folder, mode_t mode, std::string* why);

}  // namespace hv
