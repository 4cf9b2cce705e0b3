#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Processes.h"

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

// A regular expression compiled once and searched over whole texts. The engine keeps its
// backtracking state on the heap, so a long run of one character class cannot exhaust the stack;
// bytes that are not UTF-8 read as replacement characters and cannot break a search.
class CompiledPattern {
  public:
    explicit CompiledPattern(std::string_view pattern);
    ~CompiledPattern();
    CompiledPattern(const CompiledPattern&) = delete;
    CompiledPattern& operator=(const CompiledPattern&) = delete;

    // A matcher of the pattern, made once and reset for each text it searches: making one costs
    // far more than a search of a short line. One thread at a time.
    class Matcher {
      public:
        explicit Matcher(const CompiledPattern& pattern);
        ~Matcher();
        Matcher(const Matcher&) = delete;
        Matcher& operator=(const Matcher&) = delete;

        // Group 1 of the first match; absent without a match or a usable group 1.
        std::optional<std::string_view> firstCapture(std::string_view text);
        // Group 1 of every match, in order.
        std::vector<std::string_view> captures(std::string_view text);

      private:
        template <class F>
        void search(std::string_view text, F&& onCapture);
        struct Impl;
        std::unique_ptr<Impl> impl_;
    };

    // One search with a matcher of its own.
    std::optional<std::string_view> firstCapture(std::string_view text) const;
    std::vector<std::string_view> captures(std::string_view text) const;

    // How many matchers all patterns have made so far, in every thread.
    static uint64_t matchersMade();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The LaunchServices command-line tool: running it with a time-out and reading its output.
class LSAppInfo {
  public:
    static constexpr const char* kDefaultPath = "/usr/bin/lsappinfo";
    // A run that takes longer is killed and counts as failed; the tool answers in well under one.
    static constexpr Seconds kRunTimeout = 3.0;

    explicit LSAppInfo(Processes& processes, std::string path = kDefaultPath, Seconds timeout = kRunTimeout);

    const std::string lsappinfoPath;
    const CompiledPattern listHeaderRegex;
    const CompiledPattern bundleIDRegex;
    const CompiledPattern pidRegex;
    const CompiledPattern asnRegex;

    // Absent when the tool could not be launched, outlasted the time-out or wrote more than a run
    // keeps (kProcessOutputLimit).
    std::optional<LSAppInfoResult> runLSAppInfo(const std::vector<std::string>& arguments) const;

    std::vector<AppRecord> parseListOutput(std::string_view text) const;
    std::set<std::string> parseFindOutputASNs(std::string_view text) const;

    static std::optional<int64_t> parseLSAppInfoErrorCode(std::string_view text);
    static std::vector<std::string> allCaptures(std::string_view text, const CompiledPattern& regex);
    // Trims white space, cuts at the first minus sign followed by a double quote, trims colons.
    static std::string normalizedASN(std::string_view text);
    static bool isValidUTF8(std::string_view bytes);

  private:
    Processes& processes_;
    Seconds timeout_;
};

}  // namespace qv
