#include <fstream>
#include <iostream>
#include <sstream>

#include "app/ScenarioRunner.h"

namespace {

constexpr const char* kUsage =
    "usage: quillvorn                             plays the built-in demo, screenshots in quillvorn-demo/\n"
    "       quillvorn --scenario FILE [--out DIR] plays a scenario script, screenshots in DIR\n"
    "                                             (quillvorn-screenshots/ unless given)\n";

}  // namespace

int main(int argc, char** argv) {
    std::string scenarioFile;
    std::filesystem::path outDir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--scenario" && i + 1 < argc) {
            scenarioFile = argv[++i];
        } else if (arg == "--out" && i + 1 < argc) {
            outDir = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else {
            std::cerr << "quillvorn: unexpected argument \"" << arg << "\"\n" << kUsage;
            return 2;
        }
    }
    qv::ScenarioRunOptions options;
    options.out = &std::cout;
    options.err = &std::cerr;
    if (scenarioFile.empty()) {
        if (!outDir.empty()) {
            std::cerr << "quillvorn: --out goes with --scenario\n" << kUsage;
            return 2;
        }
        options.fileName = "demo";
        options.outDir = "quillvorn-demo";
        return qv::runScenario(qv::demoScenario(), options);
    }
    std::ifstream file(scenarioFile, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file) {
        std::cerr << scenarioFile << ": cannot read the scenario\n";
        return 2;
    }
    options.fileName = scenarioFile;
    options.outDir = outDir.empty() ? std::filesystem::path("quillvorn-screenshots") : outDir;
    return qv::runScenario(text.str(), options);
}
