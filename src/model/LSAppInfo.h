#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Processes.h"
#include "platform/TextServices.h"

namespace qv {

// One application of the tool's "list" output.
struct AppRecord {
    std::string asn;  // normalised
    std::string bundleID;
    int64_t pid = 0;
    friend bool operator==(const AppRecord&, const AppRecord&) = default;
};

// One finished run of the tool.
struct LSAppInfoResult {
    std::vector<std::string> arguments;
    int32_t exitStatus = 0;
    std::string standardOutput;  // empty when the bytes were not UTF-8
    std::string standardError;   // the same
    std::optional<int64_t> errCode;
    // False when standard output was not UTF-8 and so reads as empty: the run said nothing usable.
    bool standardOutputDecoded = true;
};

// The LaunchServices command-line tool: running it with a time-out and reading its output.
class LSAppInfo {
  public:
    static constexpr const char* kDefaultPath = "/usr/bin/lsappinfo";
    // A run that takes longer is killed and counts as failed; the tool answers in well under one.
    static constexpr Seconds kRunTimeout = 3.0;

    explicit LSAppInfo(Processes& processes, std::string path = kDefaultPath, Seconds timeout = kRunTimeout);

    const std::string lsappinfoPath;
    const TextServices::RegularExpression listHeaderRegex;
    const TextServices::RegularExpression bundleIDRegex;
    const TextServices::RegularExpression pidRegex;
    const TextServices::RegularExpression asnRegex;

    // Absent when the tool could not be launched, outlasted the time-out or wrote more than a run
    // keeps (kProcessOutputLimit).
    std::optional<LSAppInfoResult> runLSAppInfo(const std::vector<std::string>& arguments) const;

    std::vector<AppRecord> parseListOutput(std::string_view text) const;
    std::set<std::string> parseFindOutputASNs(std::string_view text) const;

    static std::optional<int64_t> parseLSAppInfoErrorCode(std::string_view text);
    static std::vector<std::string> allCaptures(std::string_view text,
                                                const TextServices::RegularExpression& regex);
    // Trims white space, cuts at the first minus sign followed by a double quote, trims colons.
    static std::string normalizedASN(std::string_view text);
    static bool isValidUTF8(std::string_view bytes);

  private:
    Processes& processes_;
    Seconds timeout_;
};

}  // namespace qv
