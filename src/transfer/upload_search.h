// Finding the next finished recording to upload: the search pattern made from
// a recording base path, and the folder search under the file lock.
#pragma once

#include <set>
#include <string>

namespace hv {

// The base path with its extension (from the last "." after the last "/")
// replaced by "*.w*", or "*.w*" appended when it has none:
// "/bats/site4.wav" and "/bats/site4" both give "/bats/site4*.w*".
std::string UploadSearchPattern(const std::string& basePath);

// True when a file name matches the name part of a pattern made above and is
// a finished recording as the station names them: the pattern's prefix, then
// "_DYYYYMMDDThhmmssmSSS" and ".wav" or ".wv", nothing else. So files the
// station did not make (notes, a user's own recordings beside the base path)
// are never uploaded, archived or deleted, nor are files still being written
// (".tmp_wav", ".tmp_wv").
bool MatchesUploadPattern(const std::string& fileName, const std::string& patternName);

// Under the file lock, the first regular file in `folder` (directory order)
// whose name matches `patternName` and that is not in `skip` (full paths).
// Returns its name, or "" when there is none.
std::string FindUploadCandidate(const std::string& folder, const std::string& patternName,
                                const std::set<std::string>& skip);

}  // namespace hv
