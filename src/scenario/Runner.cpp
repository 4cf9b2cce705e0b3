#include "scenario/Runner.h"

#include <fstream>
#include <iomanip>

#include "scenario/Context.h"

namespace qv {

namespace {

bool hasScreenshots(const Scenario& scenario) {
    return std::any_of(scenario.steps.begin(), scenario.steps.end(),
                       [](const StepCall& s) { return s.row->writesPictures; });
}

// Makes the folder and proves it takes files; the reason when it does not.
std::optional<std::string> prepareOutput(const std::filesystem::path& dir) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) return error.message();
    const auto probe = dir / ".quillvorn-write-test";
    std::ofstream file(probe);
    file << "ok";
    file.close();
    const bool written = static_cast<bool>(file);
    std::filesystem::remove(probe, error);
    if (!written) return "it does not take files";
    return std::nullopt;
}

}  // namespace

int runScenario(const std::string& script, const ScenarioRunOptions& options) {
    return runScenario(script, options, scenarioSteps());
}

int runScenario(const std::string& script, const ScenarioRunOptions& options, const StepTable& table) {
    std::ostream& out = *options.out;
    std::ostream& err = *options.err;
    Scenario scenario;
    try {
        scenario = parseScenario(script, options.fileName, table);
    } catch (const ScenarioScriptError& e) {
        err << options.fileName << ":" << e.line << ": " << e.what() << "\n";
        return 2;
    }
    if (hasScreenshots(scenario)) {
        if (auto why = prepareOutput(options.outDir)) {
            err << options.fileName << ": cannot write screenshots to " << options.outDir.string() << ": "
                << *why << "\n";
            return 2;
        }
    }

    ManualRuntime runtime;
    auto backend = makeBackend(runtime);
    int played = 0;
    const StepCall* current = nullptr;
    auto where = [&](const StepCall* step) {
        return options.fileName + ":" + std::to_string(step ? step->line : 0) + ": ";
    };
    try {
        ScenarioContext ctx(runtime, *backend, options.outDir, out);
        for (const StepCall& step : scenario.steps) {
            current = &step;
            if (ctx.hasQuit() && !onlyLooks(*step.row)) throw ScenarioFailure("the program has quit");
            step.row->run(ctx, step);
            ctx.settle();
            if (ctx.hasQuit()) ctx.endProcess();
            ++played;
        }
        out << "Played " << played << " steps of " << options.fileName << " in " << runtime.now()
            << " s on the clock; " << ctx.expectationsHeld << " expectations held";
        if (!ctx.screenshots.empty())
            out << "; " << ctx.screenshots.size() << " pictures in " << options.outDir.string();
        out << "\n";
        return 0;
    } catch (const ScenarioScriptError& e) {
        // Without a line of its own, the fault lies in the line being played.
        if (e.line || !current) {
            err << options.fileName << ":" << e.line << ": " << e.what() << "\n";
        } else {
            err << where(current) << current->row->name << ": " << e.what() << "\n";
        }
        return 2;
    } catch (const ScenarioFailure& e) {
        err << where(current) << (current ? current->row->name + ": " : "") << e.what() << "\n";
        return 1;
    } catch (const NeverSettled& e) {
        err << where(current) << "the program never settled: " << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        // Not the script's fault nor a broken expectation: a fault of the program or the player.
        err << where(current) << (current ? current->row->name + ": " : "") << "internal error: " << e.what()
            << "\n";
        return 3;
    } catch (...) {
        err << where(current) << "internal error: an exception of unknown type\n";
        return 3;
    }
}

}  // namespace qv
