#include "app/ChipSheetDemo.h"

#include <filesystem>
#include <fstream>

#include "bar_views/ChipSheet.h"

namespace qv {

void writeChipSheetDemo(Backend& backend, std::ostream& out) {
    std::filesystem::path path = std::filesystem::current_path() / "quillvorn-chips.svg";
    std::ofstream file(path);
    file << chipSheetSvg(backend.platform());
    file.close();
    if (file) {
        out << "Chips at every bar size over every bar background: " << path.string() << "\n";
    } else {
        out << "Could not write the chip sheet to " << path.string() << "\n";
    }
}

}  // namespace qv
