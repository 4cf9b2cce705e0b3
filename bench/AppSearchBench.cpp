// The launcher's search as the user types: ranking 2,000 installed applications (mixed case, camel
// case, accents, digits, some in full-width letters) for each query, names prepared once per scan.
#include <benchmark/benchmark.h>

#include <random>

#include "dispatch/ManualRuntime.h"
#include "launcher/AppLauncher.h"
#include "sim/SimApplications.h"
#include "sim/SimDesktop.h"

namespace qv {
namespace {

constexpr int kApps = 2000;
const char* const kQueries[] = {"c", "co", "code", "o c", "café", "tab2"};

std::string appName(std::mt19937& rng, int i) {
    static const std::vector<std::string> words{
        "Code",   "Studio", "Café",   "Notes",  "Tab",     "Plus",   "Mark",  "Editor", "Sheet", "Photo",
        "Mail",   "Music",  "Réseau", "Ledger", "Compass", "Canvas", "Tempo", "Über",   "Pixel", "Écran",
        "Vector", "Term",   "Sync",   "Draw",   "Scope",   "Orbit",  "Flux",  "Navi",   "Dock",  "Grid"};
    std::uniform_int_distribution<size_t> pick(0, words.size() - 1);
    std::string name;
    switch (i % 6) {
        case 0:  // camel case
            name = words[pick(rng)] + words[pick(rng)];
            break;
        case 1:  // words
            name = words[pick(rng)] + " " + words[pick(rng)] + " " + words[pick(rng)];
            break;
        case 2:  // digits
            name = words[pick(rng)] + std::to_string(i % 10) + " " + words[pick(rng)];
            break;
        case 3:  // upper-case runs and punctuation
            name = "HTML" + words[pick(rng)] + "-" + words[pick(rng)];
            break;
        case 4:  // full-width letters
            name = "Ｔａｂ" + std::to_string(i % 7) + " " + words[pick(rng)];
            break;
        default:
            name = words[pick(rng)] + " " + std::to_string(i);
    }
    return name;
}

struct Installed {
    ManualRuntime runtime;
    SimDesktop sim{runtime};
    std::shared_ptr<AppLauncher> launcher;

    Installed() {
        sim.recordCalls = false;
        std::mt19937 rng(23);
        for (int i = 0; i < kApps; ++i) {
            SimInstalledApp app;
            app.bundleID = "com.example.app" + std::to_string(i);
            app.name = appName(rng, i);
            app.path = "/Applications/App " + std::to_string(i) + ".app";
            sim.applications().install(std::move(app));
        }
        launcher = AppLauncher::create(sim.platform());
        runtime.runUntilIdle();
    }
};

void BM_SearchResults(benchmark::State& state) {
    static Installed installed;
    const std::string query = kQueries[state.range(0)];
    const std::vector<AppInfo>& apps = *installed.launcher->allApps;
    if (apps.size() != kApps) state.SkipWithError("the scan did not find every application");
    size_t found = 0;
    for (auto _ : state) {
        auto results = installed.launcher->searchResults(apps, query);
        found = results.size();
        benchmark::DoNotOptimize(results);
    }
    state.SetLabel("\"" + query + "\": " + std::to_string(found) + " results");
}
BENCHMARK(BM_SearchResults)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);

// The same ranking with every name prepared again for each query, for comparison.
void BM_SearchResultsPreparedPerQuery(benchmark::State& state) {
    static Installed installed;
    const std::string query = kQueries[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(searchResults(*installed.launcher->allApps, query, "en_US"));
}
BENCHMARK(BM_SearchResultsPreparedPerQuery)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
