#include "FuzzInput.h"

#include <unistd.h>

namespace qv::fuzz {

std::string ByteReader::text() {
    size_t length = byte();
    if (length == 0xFF) length = raw<uint16_t>();
    std::string out;
    for (size_t i = 0; i < length && !empty(); ++i) out.push_back(static_cast<char>(byte()));
    return out;
}

namespace {

std::string key(ByteReader& in, const std::vector<std::string>& vocabulary) {
    const uint8_t pick = in.byte();
    if (pick < 0xC0 && !vocabulary.empty()) return vocabulary[pick % vocabulary.size()];
    return in.text();
}

}  // namespace

Value decodeValue(ByteReader& in, const std::vector<std::string>& vocabulary, int32_t elementPID) {
    switch (in.byte() % 17) {
        case 0:
            return Value::null();
        case 1:
            return Value::boolean(in.byte() & 1);
        case 2:
            return Value::int32(in.raw<int32_t>());
        case 3:
            return Value::uint32(in.raw<uint32_t>());
        case 4:
            return Value::int64(in.raw<int64_t>());
        case 5:
            return Value::uint64(in.raw<uint64_t>());
        case 6:
            return Value::float32(in.raw<float>());  // any bit pattern: NaN, infinities, denormals
        case 7:
            return Value::float64(in.raw<double>());
        case 8:
            switch (in.byte() % 4) {
                case 0:
                    return Value::number(NumberObject::ofBool(in.byte() & 1));
                case 1:
                    return Value::number(NumberObject::ofSigned(in.raw<int64_t>()));
                case 2:
                    return Value::number(NumberObject::ofUnsigned(in.raw<uint64_t>()));
                default:
                    return Value::number(NumberObject::ofDouble(in.raw<double>()));
            }
        case 9:
            return Value::string(in.text());
        case 10:
            return Value::string(key(in, vocabulary));
        case 11: {
            Value::Array items;
            for (size_t n = in.byte(); n > 0 && !in.empty(); --n)
                items.push_back(decodeValue(in, vocabulary, elementPID));
            return Value::array(std::move(items));
        }
        case 12: {
            Value::Dictionary entries;
            for (size_t n = in.byte(); n > 0 && !in.empty(); --n) {
                std::string k = key(in, vocabulary);
                entries[std::move(k)] = decodeValue(in, vocabulary, elementPID);
            }
            return Value::dictionary(std::move(entries));
        }
        case 13:
            return Value::uuid(in.text());
        case 14:
            return Value::element(AXElement(elementPID, in.byte() % 8));
        case 15: {
            AXValueData v;
            v.type = static_cast<AXValueData::Type>(1 + in.byte() % 4);
            v.point = {in.raw<double>(), in.raw<double>()};
            v.size = {in.raw<double>(), in.raw<double>()};
            v.rect = {in.raw<double>(), in.raw<double>(), in.raw<double>(), in.raw<double>()};
            v.rangeLocation = in.raw<int64_t>();
            v.rangeLength = in.raw<int64_t>();
            return Value::axValue(v);
        }
        default:
            // A small integer as a number object: the common case, cheap for the fuzzer to reach.
            return Value::number(static_cast<int>(in.byte()));
    }
}

const std::filesystem::path& processFolder() {
    static const struct Folder {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("quillvorn-fuzz-" + std::to_string(::getpid()));
        Folder() { std::filesystem::create_directories(path); }
        ~Folder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    } folder;
    return folder.path;
}

}  // namespace qv::fuzz
