// File operations used by the recorders and the upload thread: silent, never a
// shell command, never replacing an existing file.
#pragma once

#include <string>

namespace hv {

// Renames `from` to `to`; fails (false, errno EEXIST) when `to` already exists.
bool RenameNoReplace(const std::string& from, const std::string& to);
// Deletes a file; false when it could not be deleted.
bool DeleteFileSilently(const std::string& path);
// Moves `path` into `folder` (created when missing) under its own name, never
// replacing a file there. Across file systems it copies, syncs, then removes.
// `movedTo` receives the new path.
bool MoveFileInto(const std::string& path, const std::string& folder, std::string* movedTo = nullptr);
// The part of a path after its last "/".
std::string FileNamePart(const std::string& path);
// The part up to and including its last "/" ("" when there is none).
std::string FolderPart(const std::string& path);

}  // namespace hv
