#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace qv {

struct XmlLintVerdict {
    bool ok = false;
    std::string output;
};

// Runs `xmllint --noout` on a document; none when the tool is not installed.
inline std::optional<XmlLintVerdict> xmllint(const std::string& document) {
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0) return std::nullopt;
    auto path = std::filesystem::temp_directory_path() /
                ("qv-xmllint-" + std::to_string(::getpid()) + "-" + std::to_string(std::rand()) + ".svg");
    std::ofstream(path) << document;
    std::string command = "xmllint --noout '" + path.string() + "' 2>&1";
    XmlLintVerdict verdict;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        std::array<char, 512> buf{};
        while (std::fgets(buf.data(), int(buf.size()), pipe)) verdict.output += buf.data();
        int status = ::pclose(pipe);
        verdict.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    std::filesystem::remove(path);
    return verdict;
}

}  // namespace qv
