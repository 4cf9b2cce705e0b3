#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "platform/Preferences.h"

namespace qv {

class SimDesktop;

// The preferences domains of other applications, in memory. Our process's reads and writes are
// logged ("UserDefaults.set", "UserDefaults.removeObject", "UserDefaults.synchronize").
class SimPreferences : public Preferences {
  public:
    explicit SimPreferences(SimDesktop& sim) : sim_(sim) {}
    std::shared_ptr<PreferencesDomain> openSuite(const std::string& suiteName) override;

    // --- The world ---
    std::optional<Value> value(const std::string& suite, const std::string& key) const;
    // None removes the key.
    void setValue(const std::string& suite, const std::string& key, std::optional<Value> value);
    // Suites that cannot be opened.
    std::set<std::string> unavailableSuites;
    // Suites whose values cannot be written out: synchronize() fails.
    std::set<std::string> unsavableSuites;

  private:
    class Domain;
    SimDesktop& sim_;
    mutable std::mutex mutex_;
    std::map<std::string, std::map<std::string, Value>> domains_;
};

}  // namespace qv
