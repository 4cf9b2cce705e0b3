#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Value.h"

namespace qv {

// One preferences domain opened by its suite name (UserDefaults(suiteName:)). Values are property
// lists: numbers and Booleans are number objects, as the platform boxes them.
class PreferencesDomain {
  public:
    virtual ~PreferencesDomain() = default;
    // object(forKey:): none when the key is absent.
    virtual std::optional<Value> object(const std::string& key) = 0;
    // set(_:forKey:); setDouble and setBool store a number object of that type.
    virtual void set(const Value& value, const std::string& key) = 0;
    // removeObject(forKey:)
    virtual void removeObject(const std::string& key) = 0;
    // synchronize(): false when the domain could not be written out.
    virtual bool synchronize() = 0;
};

// Other applications' preferences domains ("com.apple.dock", "com.apple.WindowManager").
class Preferences {
  public:
    virtual ~Preferences() = default;
    // UserDefaults(suiteName:): none when the domain cannot be opened.
    virtual std::shared_ptr<PreferencesDomain> openSuite(const std::string& suiteName) = 0;
};

}  // namespace qv
