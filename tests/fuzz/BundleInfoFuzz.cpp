// Applications' information dictionaries as the launcher's discovery reads them: any value at any
// key, odd names and identifiers, bundles in nested folders. Every bundle found is listed once
// by a non-empty name, under its identifier when it has one, in the order of its name.
#include <set>

#include "FuzzInput.h"
#include "FuzzTarget.h"
#include "dispatch/ManualRuntime.h"
#include "launcher/AppLauncher.h"
#include "platform/TextServices.h"
#include "sim/SimApplications.h"
#include "sim/SimDesktop.h"

namespace {

using namespace qv;

const std::vector<std::string>& vocabulary() {
    static const std::vector<std::string> words = {"CFBundleIdentifier",
                                                   "CFBundleDisplayName",
                                                   "CFBundleName",
                                                   "CFBundleExecutable",
                                                   "CFBundleIconFile",
                                                   "com.example.editor",
                                                   "Editor",
                                                   "",
                                                   " ",
                                                   "Édition",
                                                   "ä",
                                                   "A\u030A",
                                                   "日本語"};
    return words;
}

const std::vector<std::string>& folders() {
    static const std::vector<std::string> places = {"/Applications/", "/System/Applications/",
                                                    "~/Applications/", "/Applications/Utilities/",
                                                    "~/Applications/Tools/Deep/"};
    return places;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ByteReader in(fuzz::bytesOf(data, size));
    ManualRuntime rt;
    SimDesktop sim{rt};
    for (int n = in.byte() % 6; n > 0; --n) {
        SimInstalledApp app;
        std::string name = in.text();
        app.name = name;
        app.path = folders()[in.byte() % folders().size()] + name + ".app";
        app.opens = in.byte() % 8 != 0;
        app.infoDictionary = fuzz::decodeValue(in, vocabulary());
        sim.applications().install(app);
    }
    const std::string locale = in.byte() & 1 ? "de" : "en_US";
    const std::vector<AppInfo> apps = AppLauncher::discoverApplications(sim.platform(), locale);

    std::set<std::string> ids;
    std::string previousKey;
    for (const AppInfo& app : apps) {
        FUZZ_CHECK(!app.name.empty());
        FUZZ_CHECK(app.path.ends_with(".app"));
        FUZZ_CHECK(ids.insert(app.id).second);
        const std::string key = TextServices::caseInsensitiveSortKey(app.name, locale);
        FUZZ_CHECK(previousKey <= key);
        previousKey = key;
        const std::optional<Value> info = sim.platform().workspace.bundleInfoDictionary(app.path);
        const std::string* identifier = info ? (*info)["CFBundleIdentifier"].asString() : nullptr;
        FUZZ_CHECK(app.id == (identifier && !identifier->empty() ? *identifier : app.path));
    }
    return 0;
}
