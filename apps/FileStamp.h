// Whether a save replaced a file: the object does not report a file it could not write, so a
// host compares the file's identity before and after.
#pragma once

#include <string>
#include <sys/stat.h>

namespace quillax::host {

struct TFileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
};

// The identity of a regular file; exists is false for anything else.
TFileStamp StampOf(const std::string& path);

// Whether the file now stamped `after` was written since `before` was taken.
bool Replaced(const TFileStamp& before, const TFileStamp& after);

} // namespace quillax::host
