#include "model/BarMetrics.h"

namespace qv {

BarMetrics BarMetrics::forSize(BarSize size) {
    // clang-format off
    switch (size) {
        // The lengths in the order of the record's fields.
        case BarSize::small:  return {size, 23,  6,  8,  4, 16, 4, 120, 24, 18, 10, 4,  8,  8};
        case BarSize::medium: return {size, 27,  7,  9,  5, 18, 5, 135, 29, 22, 12, 5, 10,  9};
        case BarSize::large:  return {size, 32,  8, 10,  6, 20, 6, 150, 36, 27, 15, 6, 12, 10};
        case BarSize::xl:     return {size, 40, 10, 12,  7, 24, 7, 180, 44, 34, 18, 7, 14, 12};
        case BarSize::xxl:    return {size, 50, 12, 14,  8, 30, 8, 220, 54, 42, 23, 8, 16, 14};
    }
    // clang-format on
    return forSize(BarSize::medium);
}

}  // namespace qv
