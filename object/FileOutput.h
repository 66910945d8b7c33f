// Writing a finished image file: the bytes go to a new file in the target's folder, which
// then takes the target's name in one step, so a failure never leaves a target half written.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quillax {

// Replaces (or creates) fileName with exactly these bytes. Raises Exception when the file
// cannot be written; the target is then as it was and no temporary file is left behind.
void ReplaceFileAtomically(const std::string& fileName, std::span<const uint8_t> bytes);

} // namespace quillax
