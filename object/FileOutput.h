// Writing a finished image file where its name points: the bytes go to a new file in the
// target's folder, which then takes the target's name in one step, so a failure never leaves
// a target half written. A name that is a symbolic link has its final target replaced (the
// link stays); one that names a device or a FIFO is written in place.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quillax {

// Replaces (or creates) fileName, or the file its symbolic links lead to, with exactly these
// bytes; writes them into it in place when it is neither a regular file nor a folder (a
// character device, a FIFO). Raises Exception when the file cannot be written; a replaced
// target is then as it was and no temporary file is left behind.
void ReplaceFileAtomically(const std::string& fileName, std::span<const uint8_t> bytes);

} // namespace quillax
