// The keyboard shortcut's JSON form and the snap keys read from JSON: a shortcut decodes whole or
// fails with the decoder's own error, and one that decodes is written back the same; any
// modifier combination gets a verdict and any shortcut a display text.
#include <bit>
#include <nlohmann/json.hpp>

#include "FuzzTarget.h"
#include "XmlCheck.h"
#include "dispatch/ManualRuntime.h"
#include "launcher/KeyNames.h"
#include "model/KeyboardShortcutJson.h"
#include "sim/SimDesktop.h"
#include "tiling/SnapKeyRules.h"

namespace {

using namespace qv;
using nlohmann::json;

std::optional<KeyboardShortcut> shortcutOf(const json& j) {
    try {
        return j.get<KeyboardShortcut>();
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ManualRuntime rt;
    static SimDesktop sim{rt};
    const json j = json::parse(fuzz::bytesOf(data, size), nullptr, /*allow_exceptions=*/false);
    if (j.is_discarded()) return 0;

    // One shortcut, or an object of the launcher's and the switcher's with the snap keys.
    std::optional<KeyboardShortcut> shortcut = shortcutOf(j);
    std::optional<KeyboardShortcut> launcher = shortcut;
    KeyboardShortcut switcher{48, carbon::kOption};
    std::optional<uint32_t> snap;
    if (j.is_object()) {
        if (auto it = j.find("launcher"); it != j.end()) launcher = shortcutOf(*it);
        if (auto it = j.find("switcher"); it != j.end()) switcher = shortcutOf(*it).value_or(switcher);
        if (auto it = j.find("snap");
            it != j.end() && it->is_number_unsigned() && it->get<uint64_t>() <= UINT32_MAX)
            snap = static_cast<uint32_t>(it->get<uint64_t>());
    }

    if (shortcut) {
        const json written = *shortcut;
        FUZZ_CHECK(written.size() == 2 && written.begin().key() == "keyCode");
        FUZZ_CHECK(shortcutOf(json::parse(written.dump())) == shortcut);
        FUZZ_CHECK(j.at("keyCode").get<uint64_t>() == shortcut->keyCode);
    }
    for (const auto& s : {launcher, std::optional<KeyboardShortcut>(switcher)})
        FUZZ_CHECK(fuzz::isStrictUTF8(shortcutDisplayText(s, sim.platform().carbon)));
    if (snap) {
        constexpr uint32_t kModifiers =
            carbon::kFunction | carbon::kControl | carbon::kOption | carbon::kShift | carbon::kCommand;
        auto reason = snapKeysRejectionReason(SnapKeyModifiers{*snap}, launcher, switcher);
        if (std::popcount(*snap & kModifiers) < 2) FUZZ_CHECK(reason.has_value());
        if (reason) FUZZ_CHECK(fuzz::isStrictUTF8(*reason));
    }
    return 0;
}
