#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Image.h"

namespace qv {

// One installed application as the launcher lists it. Equal, and hashed alike, by `id` alone.
struct AppInfo {
    std::string id;    // the bundle identifier; the bundle's path when it has none or does not open
    std::string name;  // the display name
    std::string path;  // the ".app" bundle, which launching opens
    std::shared_ptr<const Image> icon;  // 32 x 32

    friend bool operator==(const AppInfo& a, const AppInfo& b) { return a.id == b.id; }
};

}  // namespace qv

template <>
struct std::hash<qv::AppInfo> {
    size_t operator()(const qv::AppInfo& app) const noexcept { return std::hash<std::string>{}(app.id); }
};
