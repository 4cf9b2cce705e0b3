#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Value.h"

namespace qv::fuzz {

// Reads the fuzzer's bytes as a stream of small decisions; once the bytes run out every read
// answers zero, so any input decodes to something.
class ByteReader {
  public:
    explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

    bool empty() const { return pos_ >= bytes_.size(); }
    uint8_t byte() { return empty() ? 0 : static_cast<uint8_t>(bytes_[pos_++]); }
    template <class T>
    T raw() {
        unsigned char buffer[sizeof(T)] = {};
        for (unsigned char& b : buffer) b = byte();
        T v;
        std::memcpy(&v, buffer, sizeof(T));
        return v;
    }
    // A length-prefixed string: one byte of length, or 0xFF then two bytes for longer ones.
    std::string text();
    // Everything not read yet.
    std::string_view rest() {
        return empty() ? std::string_view() : bytes_.substr(std::exchange(pos_, bytes_.size()));
    }

  private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

// A loosely typed platform value built from the bytes: one tag byte per value (every kind the
// platform hands out, native numbers and number objects apart), nesting as deep as the input
// goes. Dictionary keys and some strings come from `vocabulary` by index, so that the fuzzer
// reaches the keys the readers look for; element values belong to `elementPID`.
Value decodeValue(ByteReader& in, const std::vector<std::string>& vocabulary, int32_t elementPID = 0);

// An empty folder of this process under the temporary folder, made on first use and removed with
// everything in it when the process ends: a target that needs a folder for every input makes it
// once, not once per input.
const std::filesystem::path& processFolder();

}  // namespace qv::fuzz
