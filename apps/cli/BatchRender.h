// Rendering a list of barcodes: one image per CSV row, through the component, on several
// threads. The header row names properties (any case) and optionally a `file` column; each
// further row sets those properties on a new object after its page start (an empty cell
// leaves the property at its default) and writes the image into the output folder, under the
// row's file name or, without a file column, numbered by row (000001.png, ...). The images
// are made durable a group at a time before they take their names (BatchFiles.h); a row that
// fails writes no image.
#pragma once

#include "apps/page/BarcodePage.h"

#include <cstddef>
#include <istream>
#include <optional>
#include <string>

namespace quillax::host {

// What became of one row.
struct TRowOutcome {
    std::size_t Line = 0; // where the row starts in the CSV text
    std::string File;     // the image's path; empty when the row failed
    std::string Problem;  // why the row failed; empty when its image was written
    bool Failed() const { return !Problem.empty(); }
};

// Told of every row in the order of the rows, once its image is on the disk under its name or
// the row has failed; from a thread of the batch's own, one call at a time.
class TBatchObserver {
public:
    virtual ~TBatchObserver() = default;
    virtual void RowDone(const TRowOutcome& outcome) = 0;
};

struct TBatchSummary {
    std::size_t Rows = 0;
    std::size_t Failed = 0; // the others each wrote one image
};

struct TBatchSettings {
    std::string Folder = "."; // made when missing
    unsigned Threads = 1;     // at least 1
};

// Renders every row of the CSV text. Raises EUsageError when the header is missing or
// malformed, names a property the object does not have, or names a column twice; Exception
// when the folder cannot be made. Rows that fail are reported and counted; the others still
// render.
TBatchSummary RenderBatch(const TComponentLibrary& component, std::istream& csv,
                          const TBatchSettings& settings, TBatchObserver& observer);

} // namespace quillax::host
