// File identities for telling whether a save replaced a file.
#include "apps/FileStamp.h"

namespace quillax::host {

TFileStamp StampOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    return {true, info.st_dev, info.st_ino, info.st_mtim};
}

bool Replaced(const TFileStamp& before, const TFileStamp& after) {
    if (!after.exists) return false;
    if (!before.exists) return true;
    return before.device != after.device || before.inode != after.inode ||
           before.modified.tv_sec != after.modified.tv_sec ||
           before.modified.tv_nsec != after.modified.tv_nsec;
}

} // namespace quillax::host
