// The batch: the header read and checked on the calling thread, which then parses the rows
// and hands them through a bounded queue to the render threads; a thread of its own commits
// their images and reports the rows in order.
#include "apps/cli/BatchRender.h"

#include "apps/cli/BatchFiles.h"
#include "apps/cli/Csv.h"

#include <algorithm>
#include <chrono>
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

// The file column's name as a path inside the folder, in one spelling per file ("./a.png"
// and "x/../a.png" are "a.png"), or why it cannot be used.
struct TFileName {
    fs::path Path;
    std::optional<std::string> Problem;
};

TFileName InsideName(const std::string& name) {
    if (name.empty()) return {{}, "the file name is empty"};
    if (name.find('\0') != std::string::npos) return {{}, "the file name holds a NUL character"};
    const fs::path path = fs::path(name).lexically_normal();
    if (path.is_absolute() || *path.begin() == "..")
        return {{}, "the file name " + name + " is not inside the output folder"};
    if (!path.has_filename() || path == ".")
        return {{}, "the file name " + name + " names a folder"};
    return {path, std::nullopt};
}

// One row on its way to a render thread.
struct TJob {
    std::size_t Order = 0; // of the row among all rows, from 0: its place in the report
    std::size_t Line = 0;
    std::size_t Number = 0; // of the row, from 1: the name of its file without a file column
    fs::path File;          // from the file column, when there is one
    std::vector<std::string> Fields;
};

// Rows between the parsing thread and the render threads. The parser waits while it is full,
// and is woken again only when half of it is free, not for every row taken.
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
        if (jobs_.size() == capacity_ / 2) spaceFree_.notify_one();
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

// A row that has been rendered (or has failed), with its image when it has one.
struct TFinishedRow {
    std::size_t Order = 0;
    TRowOutcome Outcome;
    std::optional<TStagedImage> Image;
    std::size_t Bytes = 0;                                              // of the image
    bool Pending() const { return Image && !Image->Temporary.empty(); } // not yet named
};

// Finished rows on their way out. Their images are committed a group at a time (when the
// group is large or has waited long enough, and at the end), and the rows are reported in
// their order, each once its image has its name or it has failed. One thread of its own
// commits and reports, so the render threads never wait for the disk.
class TRowCommitter {
public:
    TRowCommitter(TBatchObserver& observer, TBatchSummary& summary)
        : observer_(observer), summary_(summary), thread_([this] { Run(); }) {}
    ~TRowCommitter() { Stop(); }
    TRowCommitter(const TRowCommitter&) = delete;
    TRowCommitter& operator=(const TRowCommitter&) = delete;

    // Takes a finished row. The commit thread is not woken for it: it looks for new rows a few
    // times a second, which saves a wake-up per row.
    void Finish(TFinishedRow row) {
        std::lock_guard lock(mutex_);
        arrived_.push_back(std::move(row));
    }
    // After the last row: commits and reports what is left; raises what went wrong meanwhile.
    void Close() {
        Stop();
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    static constexpr std::size_t kGroupImages = 1000;
    static constexpr std::size_t kGroupBytes = 32 << 20;
    static constexpr std::chrono::milliseconds kGroupAge{250};
    static constexpr std::chrono::milliseconds kLookEvery{20};
    using Clock = std::chrono::steady_clock;

    void Stop() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            closing_.notify_one();
        }
        if (thread_.joinable()) thread_.join();
        // Rows that came after the commit thread failed leave no temporaries behind either.
        for (const TFinishedRow& row : arrived_)
            if (row.Pending()) DiscardImage(*row.Image);
        arrived_.clear();
    }

    void Run() {
        try {
            for (bool closing = false; !closing;) {
                std::vector<TFinishedRow> arrived;
                {
                    std::unique_lock lock(mutex_);
                    closing_.wait_for(lock, kLookEvery, [&] { return closed_; });
                    arrived.swap(arrived_);
                    closing = closed_;
                }
                for (TFinishedRow& row : arrived)
                    Take(std::move(row));
                if (!group_.empty() &&
                    (closing || group_.size() >= kGroupImages || groupBytes_ >= kGroupBytes ||
                     Clock::now() >= groupStart_ + kGroupAge))
                    Commit();
                Report();
            }
        } catch (...) {
            failure_ = std::current_exception();
            for (const auto& [order, row] : waiting_)
                if (row.Pending()) DiscardImage(*row.Image);
        }
    }

    void Take(TFinishedRow row) {
        if (row.Pending()) {
            if (group_.empty()) groupStart_ = Clock::now();
            group_.push_back(row.Order);
            groupBytes_ += row.Bytes;
        }
        waiting_.emplace(row.Order, std::move(row));
    }

    void Commit() {
        std::vector<TStagedImage> images;
        for (std::size_t order : group_)
            images.push_back(*waiting_.at(order).Image);
        const std::vector<std::string> problems = CommitImages(images);
        for (std::size_t i = 0; i < group_.size(); ++i) {
            TFinishedRow& row = waiting_.at(group_[i]);
            row.Image->Temporary.clear();
            if (!problems[i].empty()) {
                row.Outcome.Problem = problems[i];
                row.Outcome.File.clear();
            }
        }
        group_.clear();
        groupBytes_ = 0;
    }

    // Reports the rows that are done, in order, up to the first that is not.
    void Report() {
        for (auto next = waiting_.begin();
             next != waiting_.end() && next->first == reported_ && !next->second.Pending();
             next = waiting_.erase(next), ++reported_) {
            ++summary_.Rows;
            summary_.Failed += next->second.Outcome.Failed();
            observer_.RowDone(next->second.Outcome);
        }
    }

    TBatchObserver& observer_;
    TBatchSummary& summary_;
    std::exception_ptr failure_;

    std::mutex mutex_;
    std::condition_variable closing_;
    std::vector<TFinishedRow> arrived_; // under mutex_, as is closed_
    bool closed_ = false;

    // The commit thread's own.
    std::map<std::size_t, TFinishedRow> waiting_; // by order, not yet reported
    std::vector<std::size_t> group_;              // rows whose images await their names
    std::size_t groupBytes_ = 0;
    Clock::time_point groupStart_;
    std::size_t reported_ = 0;

    std::thread thread_; // last: starts when the rest is ready
};

// The file name of a row without a file column: its number and the extension of the image's
// format, told by its content type.
std::string NumberedName(std::size_t number, std::string_view contentType) {
    std::string name = std::to_string(number);
    if (name.size() < 6) name.insert(0, 6 - name.size(), '0');
    return name + (contentType == "image/jpeg"  ? ".jpg"
                   : contentType == "image/png" ? ".png"
                                                : ".bmp");
}

// Why a row's render failed: the step, and the object's own message for it.
std::string StepProblem(const TRenderOutcome& outcome) {
    static constexpr const char* kSteps[] = {"", "passing the data", "measuring the barcode",
                                             "drawing the barcode", "creating the barcode"};
    const LONG step = outcome.Result;
    const std::string what = step > 0 && step < 5 ? std::string(" (") + kSteps[step] + ")" : "";
    return "rendering failed at step " + std::to_string(step) + what + ": " + outcome.Error;
}

// Renders the row into memory and, when every step succeeded, stages its image.
TFinishedRow RenderRow(const TBarcodePage& page, const TColumns& columns, const fs::path& folder,
                       const TJob& job) {
    TFinishedRow row{job.Order, {job.Line, {}, {}}, {}};
    try {
        std::vector<TPropertySetting> settings;
        for (std::size_t i = 0; i < job.Fields.size(); ++i) {
            if (i != columns.File && !job.Fields[i].empty())
                settings.emplace_back(columns.Properties[i], job.Fields[i]);
        }
        // A file name's extension picks the format, as -o does for render.
        const TPageOutcome image =
            page.Show(settings, nullptr, columns.File ? job.File.string() : std::string());
        if (image.Failed()) {
            row.Outcome.Problem = StepProblem(image);
            return row;
        }
        const fs::path file =
            folder /
            (columns.File ? job.File : fs::path(NumberedName(job.Number, image.ContentType)));
        if (columns.File) MakeFolders(file.parent_path());
        row.Bytes = image.Bytes.size();
        row.Image = StageImage(file.string(), image.Bytes);
        row.Outcome.File = file.string();
    } catch (const std::exception& e) {
        row.Outcome.Problem = e.what();
    }
    return row;
}

} // namespace

TBatchSummary RenderBatch(const TComponentLibrary& component, std::istream& csv,
                          const TBatchSettings& settings, TBatchObserver& observer) {
    const fs::path folder = fs::path(settings.Folder).lexically_normal();
    MakeFolders(folder);

    TCsvReader reader(csv);
    const std::span<const std::string_view> names = PagePropertyNames();
    const TColumns columns = ReadHeader(reader, {names.begin(), names.end()});
    const TBarcodePage page(component);

    TBatchSummary summary;
    TRowCommitter committer(observer, summary);
    std::size_t order = 0;
    const auto fail = [&](std::size_t line, std::string problem) {
        committer.Finish({order++, {line, {}, std::move(problem)}, {}});
    };
    const unsigned threads = std::max(1u, settings.Threads);
    TJobQueue queue(32 * std::size_t{threads});
    {
        std::vector<std::jthread> workers;
        TQueueCloser closer{queue}; // closes before the workers are joined
        for (unsigned i = 0; i < threads; ++i) {
            workers.emplace_back([&] {
                while (std::optional<TJob> job = queue.Pop())
                    committer.Finish(RenderRow(page, columns, folder, *job));
            });
        }
        std::map<fs::path, std::size_t> lineOfFile; // the file column's names, each once
        for (std::size_t number = 1;; ++number) {
            std::optional<TCsvRecord> record;
            try {
                record = reader.Next();
            } catch (const ECsvError& e) {
                fail(e.Line(), e.what());
                continue;
            }
            if (!record) break;
            if (record->Fields.size() != columns.Properties.size()) {
                fail(record->Line, std::to_string(record->Fields.size()) +
                                       " fields where the header has " +
                                       std::to_string(columns.Properties.size()));
                continue;
            }
            TJob job{0, record->Line, number, {}, std::move(record->Fields)};
            if (columns.File) {
                const std::string& name = job.Fields[*columns.File];
                TFileName file = InsideName(name);
                if (file.Problem) {
                    fail(job.Line, *file.Problem);
                    continue;
                }
                const auto [taken, isNew] = lineOfFile.emplace(file.Path, job.Line);
                if (!isNew) {
                    fail(job.Line, "the file " + name + " is already the image of line " +
                                       std::to_string(taken->second));
                    continue;
                }
                job.File = std::move(file.Path);
            }
            job.Order = order++;
            queue.Push(std::move(job));
        }
    }
    committer.Close();
    return summary;
}

} // namespace quillax::host
