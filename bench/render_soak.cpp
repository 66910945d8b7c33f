// One million renders to bytes on a few threads, as a busy web host would make them: every
// format, labels on and off, several symbologies and one in a thousand a very long barcode. It
// prints the rate and the process's memory as it goes, and fails when the peak memory still
// grows after the warm-up or a render's bytes differ from that case's first render.
//
//   build/bin/render_soak [RENDERS [THREADS]]     (default 1000000 renders on 2 threads)
#include "object/UQuillax.h"
#include "platform/AnsiCodePage.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace quillax;

struct TCase {
    LONG Type;
    std::string Data;
    const char* Format;
    bool ShowText;
};

// Five symbologies in every format, with and without the label.
std::vector<TCase> Cases() {
    std::vector<TCase> cases;
    const struct {
        LONG Type;
        std::string Data;
    } symbols[] = {
        {bcCodeEAN13, "590123412345"},
        {bcCode128B, "QUILLAX-2024-0001234"},
        {bcCode39, "CODE-39 TEST"},
        {bcCodeUPC_A, "03600029145"},
        {bcCode_2_5_interleaved, "1234567890"},
    };
    for (const auto& symbol : symbols)
        for (const char* format : {"BMP", "PNG", "JPEG"})
            for (bool text : {false, true})
                cases.push_back({symbol.Type, symbol.Data, format, text});
    return cases;
}

// A Code 128 of 2,000 characters (about 22,000 x 50 pixels) in each format: its buffers are
// large enough for the block cache.
std::vector<TCase> LongCases() {
    std::string data(2000, 'A');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char('A' + i % 26);
    return {{bcCode128B, data, "BMP", false},
            {bcCode128B, data, "PNG", true},
            {bcCode128B, data, "JPEG", false}};
}
constexpr long LongEvery = 1000; // renders

void Put(TQuillax& object, HRESULT (TQuillax::*put)(BSTR), const std::string& text) {
    BSTR value = AnsiToBstr(text);
    (object.*put)(value);
    SysFreeString(value);
}

TEncodedBarcode Render(const TCase& c) {
    TQuillax object;
    object.OnStartPage(nullptr);
    object.put_BarcodeType(c.Type);
    object.put_Checksum(VARIANT_TRUE);
    object.put_Ratio(2);
    object.put_ShowText(c.ShowText ? VARIANT_TRUE : VARIANT_FALSE);
    Put(object, &TQuillax::put_Data, c.Data);
    Put(object, &TQuillax::put_ImageTypeStr, c.Format);
    return object.EncodeBarcode();
}

// The process's resident and peak resident memory in KiB.
struct TMemory {
    long Resident = 0;
    long Peak = 0;
};
TMemory ReadMemory() {
    TMemory memory;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) memory.Resident = std::atol(line.c_str() + 6);
        if (line.rfind("VmHWM:", 0) == 0) memory.Peak = std::atol(line.c_str() + 6);
    }
    return memory;
}

} // namespace

int main(int argc, char** argv) {
    const long renders = argc > 1 ? std::atol(argv[1]) : 1'000'000;
    const int threads = argc > 2 ? std::atoi(argv[2]) : 2;
    std::vector<TCase> cases = Cases();
    const size_t usual = cases.size();
    for (TCase& c : LongCases())
        cases.push_back(std::move(c));
    // Each case's bytes, from one render before the soak.
    std::vector<TByteBuffer> expected;
    for (const TCase& c : cases)
        expected.push_back(Render(c).Image.Bytes());

    constexpr int Reports = 20;
    const long warmUp = std::max(1L, renders / Reports);
    std::atomic<long> next{0}, mismatches{0};
    std::mutex printing;
    long peakAfterWarmUp = 0, lastPeak = 0;
    const auto start = std::chrono::steady_clock::now();
    auto report = [&](long done) {
        const TMemory memory = ReadMemory();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::lock_guard lock(printing);
        std::printf("%9ld renders  %7.1f s  %8.0f renders/s  resident %7ld KiB  peak %7ld KiB\n",
                    done, seconds, done / seconds, memory.Resident, memory.Peak);
        std::fflush(stdout);
        if (done == warmUp) peakAfterWarmUp = memory.Peak;
        lastPeak = memory.Peak;
    };
    auto work = [&] {
        for (long i; (i = next.fetch_add(1)) < renders;) {
            const size_t which = i % LongEvery == LongEvery - 1
                                     ? usual + size_t(i / LongEvery) % (cases.size() - usual)
                                     : size_t(i) % usual;
            if (!(Render(cases[which]).Image.Bytes() == expected[which])) ++mismatches;
            if ((i + 1) % warmUp == 0) report(i + 1);
        }
    };
    {
        std::vector<std::jthread> pool;
        for (int t = 0; t < threads; ++t)
            pool.emplace_back(work);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long growth = lastPeak - peakAfterWarmUp;
    const double cpu = double(std::clock()) / CLOCKS_PER_SEC;
    std::printf("%ld renders on %d threads in %.1f s (%.0f renders/s), %.1f s of CPU (%.0f "
                "renders per CPU second); %ld differed; peak memory %ld KiB after warm-up, %ld "
                "KiB at the end (%+ld KiB)\n",
                renders, threads, seconds, renders / seconds, cpu, renders / cpu, mismatches.load(),
                peakAfterWarmUp, lastPeak, growth);
    // Peak memory is flat when it grows by less than a large render's buffers after warm-up.
    constexpr long FlatKiB = 4096;
    return mismatches == 0 && growth < FlatKiB ? 0 : 1;
}
