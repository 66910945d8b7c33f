// Renders on many threads at once: eight threads, each with objects of its own, render every
// symbology in every format with its text for a fixed number of rounds; every output must be
// byte for byte what one thread renders for the same properties, and no object is left
// counted when the threads are done.
#include "apps/page/ComponentHost.h"
#include "hosting/Kemrin_Quillax_TLB.h"
#include "tests/StatusText.h"
#include "tests/support/BuiltComponent.h"
#include "tests/support/RenderTables.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace quillax::test {
namespace {

using host::TPropertySetting;

constexpr int kThreads = 8;
constexpr int kRounds = 8;

struct TRenderCase {
    std::string Name;
    std::vector<TPropertySetting> Properties;
};

std::vector<TRenderCase> EverySymbologyInEveryFormat() {
    std::vector<TRenderCase> cases;
    for (int type = 0; type < kBarcodeTypeCount; ++type)
        for (const char* format : kFormats)
            cases.push_back({std::to_string(type) + "/" + format,
                             {{"BarcodeType", std::to_string(type)},
                              {"Data", kDataByType[type]},
                              {"Checksum", "True"},
                              {"ShowText", "True"},
                              {"ImageTypeStr", format}}});
    return cases;
}

// One object for a whole round: each case sets every property it depends on, so what an
// earlier case left set cannot show.
void RenderRound(IDispatch* object, const std::vector<TRenderCase>& cases, int first,
                 std::vector<std::string>& outputs) {
    TBodySink sink;
    ComPtr<IScriptingContext> context = host::MakeScriptingContext(sink);
    host::StartPage(object, context.Get());
    for (size_t i = 0; i < cases.size(); ++i) {
        const size_t index = (first + i) % cases.size();
        for (const auto& [name, value] : cases[index].Properties)
            host::PutProperty(object, name, value);
        sink.body.clear();
        host::ShowBarcode(object);
        outputs[index] = sink.body;
    }
    host::EndPage(object);
}

TEST(RenderConcurrency, EightThreadsRenderWhatOneThreadRenders) {
    const host::TComponentLibrary& component = BuiltComponent();
    const std::vector<TRenderCase> cases = EverySymbologyInEveryFormat();
    std::vector<std::string> expected(cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        TBodySink sink;
        host::RunBarcodePage(component, cases[i].Properties, sink);
        ASSERT_GT(sink.body.size(), 54u) << cases[i].Name;
        expected[i] = sink.body;
    }

    // Each thread starts its round at its own place in the table, so different symbologies
    // and formats are being drawn at the same moment.
    std::vector<std::vector<int>> mismatches(kThreads, std::vector<int>(cases.size(), 0));
    std::atomic<int> failures{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([&, t] {
            while (!go.load())
                std::this_thread::yield();
            try {
                std::vector<std::string> outputs(cases.size());
                for (int round = 0; round < kRounds; ++round) {
                    ComPtr<IDispatch> object = component.CreateObject(CLSID_Quillax);
                    RenderRound(object.Get(), cases,
                                static_cast<int>((t * cases.size()) / kThreads + round), outputs);
                    for (size_t i = 0; i < cases.size(); ++i)
                        mismatches[t][i] += outputs[i] != expected[i];
                }
            } catch (const std::exception& e) {
                std::fprintf(stderr, "thread %d: %s\n", t, e.what());
                ++failures;
            }
        });
    const auto start = std::chrono::steady_clock::now();
    go = true;
    for (std::thread& worker : workers)
        worker.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    EXPECT_EQ(0, failures.load());
    for (size_t i = 0; i < cases.size(); ++i) {
        int wrong = 0;
        for (int t = 0; t < kThreads; ++t)
            wrong += mismatches[t][i];
        EXPECT_EQ(0, wrong) << cases[i].Name << ": renders that differ from one thread's";
    }
    EXPECT_HR(S_OK, component.CanUnloadNow()) << "objects still counted";
    const int renders = kThreads * kRounds * static_cast<int>(cases.size());
    std::printf("%d renders on %d threads in %.2f s: %.0f renders/s\n", renders, kThreads, seconds,
                renders / seconds);
}

} // namespace
} // namespace quillax::test
