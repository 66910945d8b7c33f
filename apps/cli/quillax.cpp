// quillax: the command-line host of the barcode component.
//
//   quillax render NAME=VALUE ... [-o FILE] [--headers]
//   quillax batch [-j N] [-o DIR] [FILE|-]
//   quillax symbologies [--json]
//   quillax register|unregister [--registry FILE]
//   quillax serve [--listen HOST:PORT] [--threads N] [--render-threads N] [--render-queue N]
//                 [--render-memory BYTES] [--cache-bytes N] [--max-connections N]
//                 [--max-connections-per-client N] [--quiet]
//
// Exit status of render: 0 success; 10 + N when rendering reported step code N (the image is
// still written, to the file or standard output), with the object's LastError on standard
// error; 15 when the file was not written (SaveBarcode's Result 5); 1 when a call failed; 2
// for a usage error (an unknown property, a value that does not convert, an ImageTypeStr no
// writer has, one that contradicts -o's extension, or an image for a terminal without -o).
// batch has its own (apps/cli/BatchCommand.h). Every command says what went wrong in its own
// words, as "quillax COMMAND: reason".
#include "apps/cli/BatchCommand.h"
#include "apps/cli/CommandWords.h"
#include "apps/cli/PropertyHelp.h"
#include "apps/page/ComponentHost.h"
#include "apps/page/ImageFormatNames.h"
#include "apps/page/SymbologyNames.h"
#include "apps/web/WebHost.h"
#include "hosting/Kemrin_Quillax_TLB.h"
#include "platform/Activation.h"
#include "platform/Registry.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
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
// --headers each call is reported on standard error. An image that is not text is held back
// from a terminal (unless -o - asks for it there): it would only scramble the screen.
class TStdoutResponse final : public TResponseSink {
public:
    TStdoutResponse(bool reportCalls, bool holdBinary)
        : reportCalls_(reportCalls), holdBinary_(holdBinary) {}

    // Whether an image was held back from the terminal.
    bool HeldBack() const { return heldBack_; }

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
        text_ = type.starts_with("text/") || type.starts_with("image/svg");
        return S_OK;
    }
    HRESULT BinaryWrite(std::span<const BYTE> bytes) override {
        Report("BinaryWrite: " + std::to_string(bytes.size()) + " bytes");
        if (holdBinary_ && !text_) {
            heldBack_ = true;
            return S_OK;
        }
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
    const bool reportCalls_;
    const bool holdBinary_;
    bool text_ = false;
    bool heldBack_ = false;
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
        TStdoutResponse response(headers, output.empty() && isatty(STDOUT_FILENO) == 1);
        const TRenderOutcome outcome = output.empty() || output == "-"
                                           ? page.Show(properties, &response)
                                           : page.Save(properties, output);
        if (outcome.Failed()) std::cerr << "quillax render: " << outcome.Error << '\n';
        if (response.HeldBack()) {
            std::cerr << "quillax render: the image is not written to the terminal: give -o FILE, "
                         "or -o - to write it there anyway\n";
            return ExitUsage;
        }
        return outcome.Failed() ? ExitRenderStep + static_cast<int>(outcome.Result) : ExitSuccess;
    } catch (const EUsageError& e) {
        std::cerr << "quillax render: " << e.what() << '\n';
        return ExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "quillax render: " << ProblemText(e) << '\n';
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
        std::cerr << "quillax " << command << ": " << ProblemText(e) << '\n';
        return ExitFailure;
    }
}

// Whole-number options, taken as text and read once the command is known, so that a value
// that is not a number, or out of bounds, is told in the command's words.
class TWholeNumberOptions {
public:
    template <class Number>
    void Add(CLI::App* command, const std::string& names, const std::string& help, Number& target,
             TWholeNumberRange range) {
        TEntry& entry = entries_.emplace_back();
        entry.Command = command;
        entry.Text = std::to_string(target);
        entry.Range = range;
        entry.Set = [&target](std::uint64_t value) { target = static_cast<Number>(value); };
        entry.Option = command->add_option(names, entry.Text, help)
                           ->capture_default_str()
                           ->type_name(range.Bytes ? "BYTES" : "N");
    }

    // Reads the values given to command. Raises EUsageError for the first one it cannot take.
    void Apply(const CLI::App* command) const {
        for (const TEntry& entry : entries_) {
            if (entry.Command != command || entry.Option->count() == 0) continue;
            std::string names = entry.Option->get_name(false, true); // "-j,--jobs"
            std::replace(names.begin(), names.end(), ',', '/');
            entry.Set(WholeNumberOption(names, entry.Text, entry.Range));
        }
    }

private:
    struct TEntry {
        CLI::App* Command = nullptr;
        CLI::Option* Option = nullptr;
        std::string Text;
        TWholeNumberRange Range;
        std::function<void(std::uint64_t)> Set;
    };
    std::deque<TEntry> entries_; // options hold the address of their text
};

constexpr std::uint64_t kMebibyte = std::uint64_t{1} << 20;
constexpr std::uint64_t kTebibyte = std::uint64_t{1} << 40;

// The commands, one a line with what each does, for a person who gave none or another.
std::string CommandList(const CLI::App& app) {
    const std::vector<const CLI::App*> commands =
        app.get_subcommands([](const CLI::App*) { return true; });
    std::size_t width = 0;
    for (const CLI::App* command : commands)
        width = std::max(width, command->get_name().size());
    std::string list = "The commands are:\n";
    for (const CLI::App* command : commands) {
        std::string name = command->get_name();
        name.resize(width + 2, ' ');
        list += "  " + name + command->get_description() + "\n";
    }
    return list + "Run quillax COMMAND --help for a command's options.\n";
}

// A usage error in the command's words, and its exit status.
int UsageError(const std::string& who, const std::string& problem) {
    std::cerr << who << ": " << problem << '\n';
    return ExitUsage;
}

// What the parser refused, said as the command says it: the option that lacks its value, or
// the parser's own words for anything rarer.
std::string ParseProblem(const CLI::ParseError& error) {
    const std::string what = error.what();
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr)
        return what.substr(0, what.find(':')) + " needs a value";
    return what;
}

// Arguments a command did not expect: an option it does not have, or a word too many.
std::string ExtrasProblem(const CLI::App& command) {
    const std::vector<std::string> extras = command.remaining();
    const std::string& first = extras.front();
    const std::string help = " (quillax " + command.get_name() + " --help lists what it takes)";
    if (first.starts_with("-")) return "unknown option " + first + help;
    return "unexpected argument \"" + first + "\"" + help;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"quillax: barcode images from the Quillax component"};
    app.set_version_flag("--version", "quillax 1.0.0");
    // Unknown commands and options are kept, and told below in the command's own words.
    app.allow_extras();
    TWholeNumberOptions numbers;

    std::vector<std::string> assignments;
    std::string output;
    bool headers = false;
    CLI::App* render = app.add_subcommand(
        "render", "Render a barcode: set each property NAME=VALUE, then save or show the image");
    render->add_option("properties", assignments, "Property settings, NAME=VALUE");
    render->add_option("-o,--output", output,
                       "Image file to write; - for standard output (without -o, standard "
                       "output unless it is a terminal)");
    render->add_flag("--headers", headers, "Report the response calls on standard error");
    render->footer("Properties (names in any case; the default is that of a page start):\n" +
                   PropertyHelpText() +
                   "\nWith -o FILE and no ImageTypeStr, the format follows FILE's extension "
                   "(.bmp, .png, .jpg, .jpeg, .svg). Colours: #RRGGBB, 0xRRGGBB, &HBBGGRR or "
                   "a number.\n"
                   "\nLayout=1 draws the symbology's standard: quiet zones, the human-readable "
                   "line (EAN/UPC digits in OCR-B), text sized by the module, no text band "
                   "without ShowText. Resolution records dots per inch; with it XDimension "
                   "(mm) sets the narrow bar.\n"
                   "\nExit status: 0 success; 10 + N when rendering failed at step N (the image "
                   "carries the error text, and its reason goes to standard error), whether to a "
                   "file or to standard output; 15 when the file could not be written; 1 when a "
                   "call failed; 2 for a usage error (including an ImageTypeStr other than " +
                   AcceptedImageFormatNames() +
                   ", one that contradicts -o's extension, or an image for a terminal without "
                   "-o).");

    TBatchCommandOptions batchOptions;
    CLI::App* batch = app.add_subcommand(
        "batch", "Render one image per CSV row: a header row of property names (and file)");
    batchOptions.Threads = std::max(1u, std::thread::hardware_concurrency());
    numbers.Add(batch, "-j,--jobs", "Render threads (default: one per core)", batchOptions.Threads,
                {1, 1024});
    batch->add_option("-o,--output", batchOptions.Folder, "Folder for the images")
        ->capture_default_str();
    batch->add_option("input", batchOptions.Input, "CSV file; - for standard input")
        ->capture_default_str();

    bool json = false;
    CLI::App* symbologies = app.add_subcommand(
        "symbologies", "Print the symbology table: number, name, data, check digit");
    symbologies->add_flag("--json", json,
                          "As JSON: number, name, aliases, data and check_digit of each");

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
    numbers.Add(serve, "--threads",
                "Network threads: they read, answer from the cache and write (default: one per "
                "core)",
                serving.threads, {1, 256});
    numbers.Add(serve, "--render-threads", "Threads that render images (default: one per core)",
                serving.render.threads, {1, 256});
    numbers.Add(serve, "--render-queue",
                "Images that may wait for a render thread; past that 503 (default 64)",
                serving.render.queueLength, {1, 1 << 20});
    numbers.Add(serve, "--render-memory",
                "Bytes that renders in flight may take together (64M, 1G); an image that can "
                "never fit gets the error image (422)",
                serving.render.memoryBytes, {kMebibyte, kTebibyte, true});
    numbers.Add(serve, "--max-connections",
                "Open connections; past that idle ones are closed, else 503",
                serving.limits.maxConnections, {1, 1 << 20});
    numbers.Add(serve, "--max-connections-per-client",
                "Open connections from one address; 0 for no share (behind a trusted front such "
                "as nginx, where every connection comes from one address)",
                serving.limits.maxConnectionsPerClient, {0, 1 << 20});
    numbers.Add(serve, "--cache-bytes",
                "Bytes of recent image answers kept in memory (64M, 1G); 0 turns the cache off",
                serving.cacheBytes, {0, kTebibyte, true});
    serve
        ->add_flag("--quiet", quiet,
                   "Turn off the access log (by default one line per request on standard error)")
        ->capture_default_str();

    for (CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
        command->allow_extras();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e); // --help, --version
        const std::vector<CLI::App*> given = app.get_subcommands();
        return UsageError(given.empty() ? "quillax" : "quillax " + given.front()->get_name(),
                          ParseProblem(e));
    }

    const std::vector<CLI::App*> given = app.get_subcommands();
    if (given.empty()) {
        const std::vector<std::string> words = app.remaining();
        const std::string problem = words.empty() ? "no command given"
                                    : words.front().starts_with("-")
                                        ? "unknown option " + words.front()
                                        : "unknown command \"" + words.front() + "\"";
        return UsageError("quillax", problem + "\n" + CommandList(app));
    }
    CLI::App* command = given.front();
    const std::string who = "quillax " + command->get_name();
    if (!command->remaining().empty()) return UsageError(who, ExtrasProblem(*command));
    try {
        numbers.Apply(command);
    } catch (const EUsageError& e) {
        return UsageError(who, e.what());
    }

    if (command == render) return Render(assignments, output, headers);
    if (command == batch) return RunBatchCommand(batchOptions);
    if (command == symbologies) {
        std::cout << (json ? SymbologyTableJson() : SymbologyTableText());
        return ExitSuccess;
    }
    if (command == reg) return Registration(true, registry);
    if (command == unreg) return Registration(false, registry);
    serving.accessLogFd = quiet ? -1 : STDERR_FILENO;
    return RunWebHost(listen, std::move(serving));
}
