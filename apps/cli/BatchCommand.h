// `quillax batch [-j N] [-o DIR] [FILE|-]`: one image per CSV row (see BatchRender.h), with a
// progress line and a summary on a terminal and each failed row reported by its line.
//
// Exit status: 0 every row written; 1 one or more rows failed (the others are written), or
// the input could not be read, the folder not made or the component not loaded; 2 for a
// usage error (the header names an unknown property or a column twice, or is missing).
#pragma once

#include <string>

namespace quillax::host {

struct TBatchCommandOptions {
    unsigned Threads = 0;     // 0: one per core
    std::string Folder = "."; // where the images go
    std::string Input = "-";  // the CSV file; "-" standard input
};

int RunBatchCommand(const TBatchCommandOptions& options);

} // namespace quillax::host
