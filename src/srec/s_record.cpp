#include "srec/s_record.h"

#include "platform/text.h"

#include <array>
#include <stdexcept>

namespace vestrel::srec {

namespace {

constexpr std::array<int, 10> kAddressBytes = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

std::string HexByte(unsigned value) { return PrefixedHex(value & 0xFF, 2); }

}  // namespace

int AddressBytes(int type) { return type >= 0 && type <= 9 ? kAddressBytes[static_cast<std::size_t>(type)] : 0; }

std::uint8_t Record::DataByte(std::size_t i) const {
    const std::size_t at = 4 + 2 * (static_cast<std::size_t>(AddressBytes(type)) + i);
    return static_cast<std::uint8_t>(HexDigitValue(text[at]) << 4 | HexDigitValue(text[at + 1]));
}

std::string Parse(std::string_view line, Record& record) {
    if (line.empty()) return "the line is empty";
    if (line[0] != 'S' || line.size() < 2) return "not an S-record";
    const char typeChar = line[1];
    const int type = typeChar - '0';
    if (type < 0 || type > 9 || kAddressBytes[static_cast<std::size_t>(type)] == 0)
        return "\"S" + std::string(1, typeChar) + "\" is not an S-record type";
    if (line.size() > kMaxRecordLength)
        return "the line holds " + std::to_string(line.size()) + " characters, more than any S-record";
    // Every character after the type is a digit; the sum covers the count,
    // the address and the data, and the checksum makes it 0xFF.
    int invalid = 0;
    for (std::size_t i = 2; i < line.size(); ++i) invalid |= HexDigitValue(line[i]);
    if (invalid < 0) {
        for (std::size_t i = 2; i < line.size(); ++i)
            if (HexDigitValue(line[i]) < 0)
                return "'" + std::string(1, line[i]) + "' at column " + std::to_string(i + 1) +
                       " is not a hexadecimal digit";
    }
    if (line.size() < 4) return "the record has no byte count";
    auto byteAt = [&](std::size_t i) {
        return static_cast<unsigned>(HexDigitValue(line[2 + 2 * i]) << 4 | HexDigitValue(line[3 + 2 * i]));
    };
    const std::size_t count = byteAt(0);
    const std::size_t digits = line.size() - 4;
    if (digits != 2 * count)
        return "the byte count says " + std::to_string(count) + " bytes follow, but the line holds " +
               std::to_string(digits) + " hexadecimal digits after it";
    const auto addressBytes = static_cast<std::size_t>(kAddressBytes[static_cast<std::size_t>(type)]);
    if (count < addressBytes + 1)
        return "the byte count " + std::to_string(count) + " is too small for an S" + std::string(1, typeChar) +
               " record";
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += byteAt(i);
    const unsigned expected = ~sum & 0xFF;
    const unsigned given = byteAt(count);
    if (given != expected)
        return "checksum mismatch: the record ends in " + HexByte(given) + ", its bytes give " + HexByte(expected);

    std::uint32_t address = 0;
    for (std::size_t i = 1; i <= addressBytes; ++i) address = address << 8 | byteAt(i);
    record.type = type;
    record.address = address;
    record.dataBytes = count - addressBytes - 1;
    record.text = line;
    return {};
}

std::string Checksum(std::string_view record) {
    unsigned sum = 0;
    for (std::size_t i = 2; i + 4 <= record.size(); i += 2) {
        const int high = HexDigitValue(record[i]);
        const int low = HexDigitValue(record[i + 1]);
        if (high < 0 || low < 0) throw std::invalid_argument("S-record checksum: not a hexadecimal digit");
        sum += static_cast<unsigned>(high * 16 + low);
    }
    const unsigned checksum = 0xFF - (sum & 0xFF);
    return {UpperHexDigit(checksum >> 4), UpperHexDigit(checksum & 0xF)};
}

namespace {

// A record of `type` with a 2- or 3-byte address field and `size` data bytes.
std::string MakeRecord(char type, int addressBytes, std::uint32_t address, const std::uint8_t* data,
                       std::size_t size) {
    const unsigned count = static_cast<unsigned>(size + static_cast<std::size_t>(addressBytes)) + 1;
    std::string text;
    text.reserve(4 + 2 * (count + 1));
    unsigned sum = 0;
    auto put = [&](unsigned byte) {
        text += UpperHexDigit((byte >> 4) & 0xF);
        text += UpperHexDigit(byte & 0xF);
        sum += byte & 0xFF;
    };
    text += 'S';
    text += type;
    put(count);
    for (int shift = 8 * (addressBytes - 1); shift >= 0; shift -= 8) put(address >> shift);
    for (std::size_t i = 0; i < size; ++i) put(data[i]);
    const unsigned checksum = ~sum & 0xFF;
    text += UpperHexDigit(checksum >> 4);
    text += UpperHexDigit(checksum & 0xF);
    return text;
}

}  // namespace

std::string S2Record(std::uint32_t address, const std::uint8_t* data, std::size_t size) {
    if (size > 255 - 4) throw std::invalid_argument("S2 record: too many data bytes");
    return MakeRecord('2', 3, address, data, size);
}

std::string CountRecord(std::uint64_t dataRecords) {
    if (dataRecords <= 0xFFFF) return MakeRecord('5', 2, static_cast<std::uint32_t>(dataRecords), nullptr, 0);
    if (dataRecords <= 0xFFFFFF) return MakeRecord('6', 3, static_cast<std::uint32_t>(dataRecords), nullptr, 0);
    return {};
}

}  // namespace vestrel::srec
