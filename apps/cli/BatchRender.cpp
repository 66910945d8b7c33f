// The batch: the header read and checked on the calling thread, which then parses the rows
// and hands them through a bounded queue to the render threads.
#include "apps/cli/BatchRender.h"

#include "apps/cli/Csv.h"
#include "apps/page/ImageFormatNames.h"
#include "apps/page/SymbologyNames.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

namespace quillax::host {

namespace {

namespace fs = std::filesystem;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string TrimmedName(std::string_view name) {
    const std::size_t first = name.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return std::string(name.substr(first, name.find_last_not_of(" \t") - first + 1));
}

std::string AtLine(std::size_t line, const std::string& what) {
    return "line " + std::to_string(line) + ": " + what;
}

// What each column of the header sets: a property (by the object's own spelling of its
// name), or, for the one `file` column, nothing.
struct TColumns {
    std::vector<std::string> Properties; // empty for the file column
    std::optional<std::size_t> File;
};

TColumns ReadHeader(TCsvReader& reader, const std::vector<std::string>& properties) {
    std::optional<TCsvRecord> header;
    try {
        header = reader.Next();
    } catch (const ECsvError& e) {
        throw EUsageError(AtLine(e.Line(), e.what()));
    }
    if (!header) throw EUsageError("the input is empty: the first row must name the properties");
    TColumns columns;
    for (const std::string& field : header->Fields) {
        const std::string name = TrimmedName(field);
        const auto fail = [&](const std::string& why) {
            throw EUsageError(AtLine(header->Line, why));
        };
        if (name.empty())
            fail("column " + std::to_string(columns.Properties.size() + 1) + " has no name");
        for (std::size_t i = 0; i < columns.Properties.size(); ++i) {
            if (EqualsNoCase(name, columns.Properties[i]) ||
                (columns.File == i && EqualsNoCase(name, "file")))
                fail("column " + name + " is named twice");
        }
        if (EqualsNoCase(name, "file")) {
            columns.File = columns.Properties.size();
            columns.Properties.emplace_back();
            continue;
        }
        const auto known =
            std::find_if(properties.begin(), properties.end(),
                         [&](const std::string& p) { return EqualsNoCase(p, name); });
        if (known == properties.end())
            fail("unknown property " + name +
                 " (each column names a property of the barcode object, or is the file column)");
        columns.Properties.push_back(*known);
    }
    return columns;
}

// Why a file name from the file column cannot be used, or nothing when it can.
std::optional<std::string> FileNameProblem(const std::string& name) {
    if (name.empty()) return "the file name is empty";
    if (name.find('\0') != std::string::npos) return "the file name holds a NUL character";
    const fs::path path(name);
    if (path.is_absolute()) return "the file name " + name + " is not inside the output folder";
    for (const fs::path& part : path) {
        if (part == "..") return "the file name " + name + " is not inside the output folder";
    }
    if (!path.has_filename()) return "the file name " + name + " names a folder";
    return std::nullopt;
}

// One row on its way to a render thread.
struct TJob {
    std::size_t Line = 0;
    std::size_t Number = 0; // of the row, from 1: the name of its file without a file column
    std::vector<std::string> Fields;
};

// Rows between the parsing thread and the render threads; the parser waits while it is full.
class TJobQueue {
public:
    explicit TJobQueue(std::size_t capacity) : capacity_(capacity) {}

    void Push(TJob job) {
        std::unique_lock lock(mutex_);
        spaceFree_.wait(lock, [&] { return jobs_.size() < capacity_; });
        jobs_.push_back(std::move(job));
        jobWaiting_.notify_one();
    }
    // The next job, or nothing once the queue is closed and empty.
    std::optional<TJob> Pop() {
        std::unique_lock lock(mutex_);
        jobWaiting_.wait(lock, [&] { return !jobs_.empty() || closed_; });
        if (jobs_.empty()) return std::nullopt;
        TJob job = std::move(jobs_.front());
        jobs_.pop_front();
        spaceFree_.notify_one();
        return job;
    }
    void Close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        jobWaiting_.notify_all();
    }

private:
    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable jobWaiting_;
    std::condition_variable spaceFree_;
    std::deque<TJob> jobs_;
    bool closed_ = false;
};

// Closes the queue when the parsing ends, however it ends, so the render threads finish.
struct TQueueCloser {
    TJobQueue& queue;
    ~TQueueCloser() { queue.Close(); }
};

// The file name of a row without a file column: its number and the format's extension.
std::string NumberedName(std::size_t number, LONG imageType) {
    std::string name = std::to_string(number);
    if (name.size() < 6) name.insert(0, 6 - name.size(), '0');
    return name + (imageType == 1 ? ".jpg" : imageType == 3 ? ".png" : ".bmp");
}

// Why a row's render failed: the step, and the object's own message for it.
std::string StepProblem(const TRenderOutcome& outcome) {
    static constexpr const char* kSteps[] = {"", "passing the data", "measuring the barcode",
                                             "drawing the barcode", "creating the barcode"};
    const LONG step = outcome.Result;
    const std::string what = step > 0 && step < 5 ? std::string(" (") + kSteps[step] + ")" : "";
    return "rendering failed at step " + std::to_string(step) + what + ": " + outcome.Error +
           "; the image carries the error text";
}

TRowOutcome RenderRow(const TBarcodePage& page, const TColumns& columns, const fs::path& folder,
                      const TJob& job) {
    TRowOutcome outcome{job.Line, {}, {}};
    try {
        std::vector<TPropertySetting> settings;
        for (std::size_t i = 0; i < job.Fields.size(); ++i) {
            if (i != columns.File && !job.Fields[i].empty())
                settings.emplace_back(columns.Properties[i], job.Fields[i]);
        }
        // A file name's extension picks the format, as -o does for render.
        const std::string named = columns.File ? job.Fields[*columns.File] : std::string();
        if (columns.File) {
            const fs::path file = folder / named;
            fs::create_directories(file.parent_path());
            outcome.File = file.string();
        }
        const TRenderOutcome render = page.Save(
            settings, named,
            [&](LONG imageType) {
                const std::string name = NumberedName(job.Number, imageType);
                outcome.File = (folder / name).string();
                return name;
            },
            folder);
        if (render.Result == kSaveResultFileNotWritten)
            outcome.Problem = "could not write " + outcome.File + ": " + render.Error;
        else if (render.Failed())
            outcome.Problem = StepProblem(render);
    } catch (const std::exception& e) {
        outcome.Problem = e.what();
    }
    return outcome;
}

} // namespace

TBatchSummary RenderBatch(const TComponentLibrary& component, std::istream& csv,
                          const TBatchSettings& settings, TBatchObserver& observer) {
    const fs::path folder(settings.Folder);
    std::error_code made;
    fs::create_directories(folder, made);
    if (made) throw Exception("cannot make the folder " + settings.Folder + ": " + made.message());

    TCsvReader reader(csv);
    const std::span<const std::string_view> names = PagePropertyNames();
    const TColumns columns = ReadHeader(reader, {names.begin(), names.end()});
    const TBarcodePage page(component);

    std::mutex reportLock;
    TBatchSummary summary;
    const auto report = [&](const TRowOutcome& outcome) {
        std::lock_guard lock(reportLock);
        ++summary.Rows;
        summary.Failed += outcome.Failed();
        observer.RowDone(outcome);
    };

    const unsigned threads = std::max(1u, settings.Threads);
    TJobQueue queue(4 * std::size_t{threads});
    {
        std::vector<std::jthread> workers;
        TQueueCloser closer{queue}; // closes before the workers are joined
        for (unsigned i = 0; i < threads; ++i) {
            workers.emplace_back([&] {
                while (std::optional<TJob> job = queue.Pop())
                    report(RenderRow(page, columns, folder, *job));
            });
        }
        std::map<fs::path, std::size_t> lineOfFile; // the file column's names, each once
        for (std::size_t number = 1;; ++number) {
            std::optional<TCsvRecord> record;
            try {
                record = reader.Next();
            } catch (const ECsvError& e) {
                report({e.Line(), {}, e.what()});
                continue;
            }
            if (!record) break;
            if (record->Fields.size() != columns.Properties.size()) {
                report({record->Line,
                        {},
                        std::to_string(record->Fields.size()) + " fields where the header has " +
                            std::to_string(columns.Properties.size())});
                continue;
            }
            if (columns.File) {
                const std::string& name = record->Fields[*columns.File];
                if (std::optional<std::string> problem = FileNameProblem(name)) {
                    report({record->Line, {}, *problem});
                    continue;
                }
                const auto [taken, isNew] =
                    lineOfFile.emplace(fs::path(name).lexically_normal(), record->Line);
                if (!isNew) {
                    report({record->Line,
                            {},
                            "the file " + name + " is already the image of line " +
                                std::to_string(taken->second)});
                    continue;
                }
            }
            queue.Push({record->Line, number, std::move(record->Fields)});
        }
    }
    return summary;
}

} // namespace quillax::host
