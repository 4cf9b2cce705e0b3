// The settings file as a user may have edited it: it decodes to a whole record or to none, and a
// record written back reads the same, as UTF-8 JSON with every object's keys in order.
#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>

#include "FuzzTarget.h"
#include "XmlCheck.h"
#include "model/UserSettingsData.h"

namespace {

bool keysSorted(const nlohmann::ordered_json& j) {
    if (j.is_array()) return std::all_of(j.begin(), j.end(), keysSorted);
    if (!j.is_object()) return true;
    std::optional<std::string> previous;
    for (auto it = j.begin(); it != j.end(); ++it) {
        if (previous && !(*previous < it.key())) return false;
        if (!keysSorted(it.value())) return false;
        previous = it.key();
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qv;
    for (int version : {14, 26}) {
        auto decoded = decodeUserSettings(fuzz::bytesOf(data, size), version);
        if (!decoded) continue;
        const std::string encoded = encodeUserSettings(*decoded);
        FUZZ_CHECK(fuzz::isStrictUTF8(encoded));
        auto layout = nlohmann::ordered_json::parse(encoded, nullptr, false);
        FUZZ_CHECK(layout.is_object());
        FUZZ_CHECK(keysSorted(layout));
        FUZZ_CHECK(decodeUserSettings(encoded, version) == decoded);
        FUZZ_CHECK(encodeUserSettings(*decodeUserSettings(encoded, version)) == encoded);
    }
    return 0;
}
