// The lsappinfo tool's text, as any bytes: valid and invalid UTF-8, NULs, long lines. Every value
// read is a piece of the text, and a flood of lines is read in bounded time (an input that starts
// with kFlood stands for its rest repeated to a quarter of a million bytes).
#include <string>

#include "FuzzTarget.h"
#include "XmlCheck.h"
#include "model/LSAppInfo.h"
#include "posix/PosixProcesses.h"

namespace {

using namespace qv;

constexpr std::string_view kFlood{"\0flood\0", 7};
constexpr size_t kFloodSize = 250'000;

bool within(std::string_view part, std::string_view text) {
    return text.find(part) != std::string_view::npos;
}

bool normalised(std::string_view asn) {
    return asn.empty() || (asn.front() != ':' && asn.back() != ':' && !within("-\"", asn));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static PosixProcesses processes;
    static const LSAppInfo tool(processes);
    std::string_view text = fuzz::bytesOf(data, size);
    std::string flood;
    if (text.starts_with(kFlood) && text.size() > kFlood.size()) {
        flood = text.substr(kFlood.size());
        flood.reserve(2 * kFloodSize);
        while (flood.size() < kFloodSize) flood += flood;  // doubling: few, large copies
        text = flood;
    }

    for (const AppRecord& record : tool.parseListOutput(text)) {
        FUZZ_CHECK(normalised(record.asn) && within(record.asn, text));
        FUZZ_CHECK(!record.bundleID.empty() && within(record.bundleID, text));
        FUZZ_CHECK(record.pid >= 0 && within(std::to_string(record.pid), text));
    }
    for (const std::string& asn : tool.parseFindOutputASNs(text))
        FUZZ_CHECK(normalised(asn) && within(asn, text));
    if (auto code = LSAppInfo::parseLSAppInfoErrorCode(text)) FUZZ_CHECK(within("err=", text));
    const std::string asn = LSAppInfo::normalizedASN(text);
    FUZZ_CHECK(normalised(asn) && within(asn, text));
    // Whether the bytes are UTF-8 decides whether a run's output is read at all.
    FUZZ_CHECK(LSAppInfo::isValidUTF8(text) == fuzz::isStrictUTF8(text));
    return 0;
}
