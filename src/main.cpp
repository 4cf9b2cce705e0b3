#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "scenario/Runner.h"

namespace {

constexpr const char* kUsage =
    "usage: quillvorn                             plays the built-in demo, screenshots in quillvorn-demo/\n"
    "       quillvorn --scenario FILE [--out DIR] plays a scenario script, screenshots in DIR\n"
    "                                             (quillvorn-screenshots/ unless given)\n";

// Why a path cannot be read as a script; none when it is a regular file.
std::optional<std::string> notAScript(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) return "no such file";
    if (std::filesystem::is_directory(status)) return "it is a folder";
    // A device or a pipe may never end, or be read only once.
    if (!std::filesystem::is_regular_file(status)) return "it is not a regular file";
    return std::nullopt;
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// fontconfig keeps a block of its configuration for the whole process and never frees it; the
// sanitizer builds' leak check would fail every run for it. ctest passes the same suppression.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif

int main(int argc, char** argv) {
    std::optional<std::string> scenarioFile;
    std::optional<std::string> outDir;
    bool help = false;
    // Every argument is read before anything is done, so that none is ignored.
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--scenario" || arg == "--out") {
            const bool isOut = arg == "--out";
            if (i + 1 >= argc) {
                std::cerr << "quillvorn: " << arg << " needs a " << (isOut ? "DIR" : "FILE") << " after it\n"
                          << kUsage;
                return 2;
            }
            auto& value = isOut ? outDir : scenarioFile;
            if (value) {
                std::cerr << "quillvorn: " << arg << " is given twice: one " << (isOut ? "folder" : "script")
                          << " at a time\n"
                          << kUsage;
                return 2;
            }
            value = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            help = true;
        } else {
            std::cerr << "quillvorn: unexpected argument \"" << arg << "\"\n" << kUsage;
            return 2;
        }
    }
    if (help) {
        std::cout << kUsage;
        return 0;
    }
    qv::ScenarioRunOptions options;
    options.out = &std::cout;
    options.err = &std::cerr;
    if (!scenarioFile) {
        if (outDir) {
            std::cerr << "quillvorn: --out goes with --scenario\n" << kUsage;
            return 2;
        }
        options.fileName = "demo";
        options.outDir = "quillvorn-demo";
        return qv::runScenario(qv::demoScenario(), options);
    }
    std::ostringstream text;
    std::optional<std::string> why = notAScript(*scenarioFile);
    if (!why) {
        std::ifstream file(*scenarioFile, std::ios::binary);
        if (file) text << file.rdbuf();
        if (!file || file.bad()) why = "it cannot be opened or read";
    }
    if (why) {
        std::cerr << *scenarioFile << ": cannot read the scenario: " << *why << "\n";
        return 2;
    }
    options.fileName = *scenarioFile;
    options.outDir = outDir.value_or("quillvorn-screenshots");
    return qv::runScenario(text.str(), options);
}
