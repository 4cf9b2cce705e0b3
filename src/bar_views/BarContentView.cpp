#include "bar_views/BarContentView.h"

#include "bar_views/VisualEffectBlur.h"

namespace qv {

Node BarContentView::body() {
    return VisualEffectBlur{Material::menu, BlendingMode::behindWindow}.body();
}

}  // namespace qv
