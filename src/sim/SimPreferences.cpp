#include "sim/SimPreferences.h"

#include "sim/SimDesktop.h"

namespace qv {

class SimPreferences::Domain : public PreferencesDomain {
  public:
    Domain(SimPreferences& owner, std::string suite) : owner_(owner), suite_(std::move(suite)) {}

    std::optional<Value> object(const std::string& key) override { return owner_.value(suite_, key); }
    void set(const Value& value, const std::string& key) override {
        owner_.sim_.record("UserDefaults.set",
                           Value::array({Value::string(suite_), Value::string(key), value}));
        owner_.setValue(suite_, key, value);
    }
    void removeObject(const std::string& key) override {
        owner_.sim_.record("UserDefaults.removeObject",
                           Value::array({Value::string(suite_), Value::string(key)}));
        owner_.setValue(suite_, key, std::nullopt);
    }
    bool synchronize() override {
        owner_.sim_.record("UserDefaults.synchronize", Value::string(suite_));
        std::lock_guard lock(owner_.mutex_);
        return !owner_.unsavableSuites.contains(suite_);
    }

  private:
    SimPreferences& owner_;
    std::string suite_;
};

std::shared_ptr<PreferencesDomain> SimPreferences::openSuite(const std::string& suiteName) {
    sim_.record("UserDefaults.init", Value::string(suiteName));
    std::lock_guard lock(mutex_);
    if (unavailableSuites.contains(suiteName)) return nullptr;
    return std::make_shared<Domain>(*this, suiteName);
}

std::optional<Value> SimPreferences::value(const std::string& suite, const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto d = domains_.find(suite);
    if (d == domains_.end()) return std::nullopt;
    auto v = d->second.find(key);
    if (v == d->second.end()) return std::nullopt;
    return v->second;
}

void SimPreferences::setValue(const std::string& suite, const std::string& key, std::optional<Value> value) {
    std::lock_guard lock(mutex_);
    if (value) {
        domains_[suite][key] = std::move(*value);
    } else if (auto d = domains_.find(suite); d != domains_.end()) {
        d->second.erase(key);
    }
}

}  // namespace qv
