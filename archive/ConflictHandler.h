// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The questions extraction asks its front end: what to do with a file that exists where an
// entry goes, and the entries it could not write.

#include <string>

namespace oru {

enum class ConflictChoice {
    Overwrite,  // the existing file (or link: the link itself) is replaced
    Skip,       // the existing file stays, the entry is not written
    KeepBoth,   // the entry is written beside it as name~N.ext
    Cancel,     // the extraction stops (Cancelled)
};

class ConflictHandler {
public:
    virtual ~ConflictHandler() = default;
    // Something that is not a directory (a file, a symbolic link, a pipe) is at path (UTF-8),
    // where an entry's file goes; it was there before this extraction began. "Apply to all" is
    // the handler's to remember.
    virtual ConflictChoice choose(const std::string& path) = 0;
    // An entry could not be extracted (damaged, refused name, target not writable); message
    // names the archive and the entry. Extraction goes on with the others and fails at the end.
    virtual void failed(const std::string& message) { (void)message; }
    // The entries came out, but without something the file system would not keep (permissions,
    // times, symbolic links): told once per kind at the end, message saying how many and which
    // first. The extraction does not fail for it.
    virtual void notice(const std::string& message) { (void)message; }
};

}  // namespace oru
