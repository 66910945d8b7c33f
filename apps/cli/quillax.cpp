// quillax: the command-line host of the barcode component.
//
//   quillax render NAME=VALUE ... [-o FILE] [--headers]
//   quillax batch [-j N] [-o DIR] [FILE|-]
//   quillax symbologies
//   quillax register|unregister [--registry FILE]
//   quillax serve [--listen HOST:PORT] [--threads N] [--render-threads N] [--render-queue N]
//                 [--render-memory BYTES] [--cache-bytes N] [--max-connections N]
//                 [--max-connections-per-client N] [--quiet]
//
// Exit status of render: 0 success; 10 + N when rendering reported step code N (the image is
// still written, to the file or standard output), with the object's LastError on standard
// error; 15 when the file was not written (SaveBarcode's Result 5); 1 when a call failed; 2
// for a usage error (an unknown property, a value that does not convert, an ImageTypeStr no
// writer has, or one that contradicts -o's extension). batch has its own
// (apps/cli/BatchCommand.h).
#include "apps/cli/BatchCommand.h"
#include "apps/cli/PropertyHelp.h"
#include "apps/page/ComponentHost.h"
#include "apps/page/ImageFormatNames.h"
#include "apps/page/SymbologyNames.h"
#include "apps/web/WebHost.h"
#include "hosting/Kemrin_Quillax_TLB.h"
#include "platform/Activation.h"
#include "platform/Registry.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>
#include <unistd.h>

namespace {

using namespace quillax;
using namespace quillax::host;

constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;
constexpr int ExitRenderStep = 10; // + the step code

// The Response of `render` without -o: the image bytes go to standard output, and with
// --headers each call is reported on standard error.
class TStdoutResponse final : public TResponseSink {
public:
    explicit TStdoutResponse(bool reportCalls) : reportCalls_(reportCalls) {}

    HRESULT Expires(LONG minutes) override {
        Report("Expires: " + std::to_string(minutes));
        return S_OK;
    }
    HRESULT AddHeader(const std::string& name, const std::string& value) override {
        Report("AddHeader: " + name + ": " + value);
        return S_OK;
    }
    HRESULT ContentType(const std::string& type) override {
        Report("ContentType: " + type);
        return S_OK;
    }
    HRESULT BinaryWrite(std::span<const BYTE> bytes) override {
        Report("BinaryWrite: " + std::to_string(bytes.size()) + " bytes");
        if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
            return E_FAIL;
        return S_OK;
    }
    HRESULT Flush() override {
        Report("Flush");
        return std::fflush(stdout) == 0 ? S_OK : E_FAIL;
    }

private:
    void Report(const std::string& line) const {
        if (reportCalls_) std::cerr << line << '\n';
    }
    bool reportCalls_;
};

int Render(const std::vector<std::string>& assignments, const std::string& output, bool headers) {
    // Usage errors first, before anything is loaded.
    std::vector<TPropertySetting> properties;
    for (const std::string& assignment : assignments) {
        const auto equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0) {
            std::cerr << "quillax render: expected NAME=VALUE, got \"" << assignment << "\"\n";
            return ExitUsage;
        }
        properties.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
    }
    try {
        // Usage errors still come before any image is written: the page checks the settings
        // (names, values, the format against -o's extension) before it shows or saves.
        const TComponentLibrary component(TComponentLibrary::DefaultPath());
        const TBarcodePage page(component);
        TStdoutResponse response(headers);
        const TRenderOutcome outcome = output.empty() || output == "-"
                                           ? page.Show(properties, &response)
                                           : page.Save(properties, output);
        if (!outcome.Failed()) return ExitSuccess;
        std::cerr << "quillax render: " << outcome.Error << '\n';
        return ExitRenderStep + static_cast<int>(outcome.Result);
    } catch (const EUsageError& e) {
        std::cerr << "quillax render: " << e.what() << '\n';
        return ExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "quillax render: " << e.what() << '\n';
        return ExitFailure;
    }
}

// Why the file cannot serve as the registry store, or "" when it can: it must be a store
// already (its first line says so) or a new file in a folder that exists. Anything else (a
// user's own file, a missing folder) is left alone.
std::string RegistryFileProblem(const std::string& file) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(file, error);
    if (!fs::exists(status)) {
        const fs::path folder = fs::path(file).parent_path();
        if (!folder.empty() && !fs::is_directory(folder, error))
            return "the folder " + folder.string() + " does not exist";
        return {};
    }
    std::ifstream in(file, std::ios::binary);
    std::string firstLine;
    if (!fs::is_regular_file(status) || !std::getline(in, firstLine))
        return file + " is not a registry store";
    if (!firstLine.empty() && firstLine.back() == '\r') firstLine.pop_back();
    if (firstLine != kRegistryStoreFirstLine)
        return file + " is not a registry store (its first line is not \"" +
               kRegistryStoreFirstLine + "\"); it is left as it is";
    return {};
}

int Registration(bool registering, const std::string& registry) {
    const char* command = registering ? "register" : "unregister";
    try {
        if (!registry.empty()) {
            if (const std::string problem = RegistryFileProblem(registry); !problem.empty()) {
                std::cerr << "quillax " << command << ": " << problem << '\n';
                return ExitFailure;
            }
            SetRegistryStoreFile(registry);
        }
        const std::string path = TComponentLibrary::DefaultPath();
        TComponentLibrary component(path);
        const HRESULT hr = registering ? component.RegisterServer() : component.UnregisterServer();
        if (FAILED(hr)) {
            std::cerr << "quillax " << command << ": failed (0x" << std::hex << std::uppercase
                      << static_cast<ULONG>(hr) << ")\n";
            return ExitFailure;
        }
        std::cout << (registering ? "Registered " : "Unregistered ") << path << " in "
                  << RegistryStoreFile() << '\n';
        return ExitSuccess;
    } catch (const std::exception& e) {
        std::cerr << "quillax " << command << ": " << e.what() << '\n';
        return ExitFailure;
    }
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"quillax: barcode images from the Quillax component"};
    app.set_version_flag("--version", "quillax 1.0.0");
    app.require_subcommand(1);

    std::vector<std::string> assignments;
    std::string output;
    bool headers = false;
    CLI::App* render = app.add_subcommand(
        "render", "Render a barcode: set each property NAME=VALUE, then save or show the image");
    render->add_option("properties", assignments, "Property settings, NAME=VALUE");
    render->add_option("-o,--output", output, "Image file to write; - or none: standard output");
    render->add_flag("--headers", headers, "Report the response calls on standard error");
    render->footer("Properties (names in any case; the default is that of a page start):\n" +
                   PropertyHelpText() +
                   "\nWith -o FILE and no ImageTypeStr, the format follows FILE's extension "
                   "(.bmp, .png, .jpg, .jpeg, .svg).\n"
                   "\nLayout=1 draws the symbology's standard: quiet zones, the human-readable "
                   "line (EAN/UPC digits in OCR-B), text sized by the module, no text band "
                   "without ShowText. Resolution records dots per inch; with it XDimension "
                   "(mm) sets the narrow bar.\n"
                   "\nExit status: 0 success; 10 + N when rendering failed at step N (the image "
                   "carries the error text, and its reason goes to standard error), whether to a "
                   "file or to standard output; 15 when the file could not be written; 1 when a "
                   "call failed; 2 for a usage error (including an ImageTypeStr other than " +
                   AcceptedImageFormatNames() + ", or one that contradicts -o's extension).");

    TBatchCommandOptions batchOptions;
    CLI::App* batch = app.add_subcommand(
        "batch", "Render one image per CSV row: a header row of property names (and file)");
    batch->add_option("-j,--jobs", batchOptions.Threads, "Render threads (default: the cores)")
        ->check(CLI::Range(1u, 1024u));
    batch->add_option("-o,--output", batchOptions.Folder, "Folder for the images")
        ->capture_default_str();
    batch->add_option("input", batchOptions.Input, "CSV file; - for standard input")
        ->capture_default_str();

    CLI::App* symbologies = app.add_subcommand(
        "symbologies", "Print the symbology table: number, name, data, check digit");

    std::string registry;
    CLI::App* reg = app.add_subcommand("register", "Register the component in a registry store");
    reg->add_option("--registry", registry, "Registry store file");
    CLI::App* unreg =
        app.add_subcommand("unregister", "Remove the component's entries from a registry store");
    unreg->add_option("--registry", registry, "Registry store file");

    std::string listen = "127.0.0.1:8080";
    quillax::web::WebHostConfig serving;
    serving.threads = std::max(1u, std::thread::hardware_concurrency());
    serving.render.threads = serving.threads;
    bool quiet = false;
    CLI::App* serve = app.add_subcommand("serve", "Serve barcode pages over HTTP");
    serve
        ->add_option("--listen", listen,
                     "HOST:PORT to listen on ([::1]:8080 for IPv6, port 0 for any free port)")
        ->capture_default_str();
    serve
        ->add_option("--threads", serving.threads,
                     "Network threads: they read, answer from the cache and write (default: one "
                     "per core)")
        ->capture_default_str()
        ->check(CLI::Range(1u, 256u));
    serve
        ->add_option("--render-threads", serving.render.threads,
                     "Threads that render images (default: one per core)")
        ->capture_default_str()
        ->check(CLI::Range(1u, 256u));
    serve
        ->add_option("--render-queue", serving.render.queueLength,
                     "Images that may wait for a render thread; past that 503 (default 64)")
        ->capture_default_str()
        ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 20));
    serve
        ->add_option("--render-memory", serving.render.memoryBytes,
                     "Bytes that renders in flight may take together; an image that can never "
                     "fit gets the error image (422)")
        ->capture_default_str()
        ->check(CLI::Range(std::size_t{1} << 20, std::size_t{1} << 40));
    serve
        ->add_option("--max-connections", serving.limits.maxConnections,
                     "Open connections; past that idle ones are closed, else 503")
        ->capture_default_str()
        ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 20));
    serve
        ->add_option("--max-connections-per-client", serving.limits.maxConnectionsPerClient,
                     "Open connections from one address; 0 for no share (behind a trusted "
                     "front such as nginx, where every connection comes from one address)")
        ->capture_default_str()
        ->check(CLI::Range(std::size_t{0}, std::size_t{1} << 20));
    serve
        ->add_option("--cache-bytes", serving.cacheBytes,
                     "Bytes of recent image answers kept in memory; 0 turns the cache off")
        ->capture_default_str();
    serve
        ->add_flag("--quiet", quiet,
                   "Turn off the access log (by default one line per request on standard error)")
        ->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? ExitSuccess : ExitUsage;
    }

    if (render->parsed()) return Render(assignments, output, headers);
    if (batch->parsed()) return RunBatchCommand(batchOptions);
    if (symbologies->parsed()) {
        std::cout << SymbologyTableText();
        return ExitSuccess;
    }
    if (reg->parsed()) return Registration(true, registry);
    if (unreg->parsed()) return Registration(false, registry);
    if (serve->parsed()) {
        serving.accessLogFd = quiet ? -1 : STDERR_FILENO;
        return RunWebHost(listen, std::move(serving));
    }
    return ExitUsage;
}
