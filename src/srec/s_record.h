#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Motorola S-records: one line of an image, checked and read. Shared by the
// merge, which splices banks into an image, and the decoder, which reads them
// back, so that both accept exactly the same lines.
namespace vestrel::srec {

// The longest line a record can be: "S", the type, and 255 bytes after it.
inline constexpr std::size_t kMaxRecordLength = 4 + 2 * 255;

// The address bytes of each record type S0 to S9; 0 for S4, which does not exist.
int AddressBytes(int type);

// One checked record. `text` is the line it was read from and stays valid as
// long as that line does.
struct Record {
    int type = 0;                // 0 to 9
    std::uint32_t address = 0;
    std::size_t dataBytes = 0;   // after the address, before the checksum
    std::string_view text;

    bool IsData() const { return type >= 1 && type <= 3; }
    bool IsEnd() const { return type >= 7 && type <= 9; }
    bool IsCount() const { return type == 5 || type == 6; }
    // The data byte `i` (0-based) of a checked record.
    std::uint8_t DataByte(std::size_t i) const;
};

// Checks `line` as one complete record: an upper-case "S", a type that exists,
// a byte count that matches the length of the line, hexadecimal digits only
// and a checksum that matches. On success fills `record` and returns an empty
// text; otherwise returns what is wrong, in words ("checksum mismatch: the
// record ends in 0x12, its bytes give 0x34").
std::string Parse(std::string_view line, Record& record);

// The two upper-case checksum characters of a record line whose last two
// characters are a placeholder: the ones' complement of the sum of the bytes
// from the count to the last data byte. Throws std::invalid_argument when a
// summed character is not a hexadecimal digit.
std::string Checksum(std::string_view record);

// An S2 record of `data` at `address`, without a line end: "S2", the count,
// six address digits, the data and the checksum, upper-case.
std::string S2Record(std::uint32_t address, const std::uint8_t* data, std::size_t size);

// The count record of `dataRecords` S1, S2 or S3 records: S5 up to 0xFFFF,
// S6 up to 0xFFFFFF, and nothing (an empty text) beyond, where no count
// record can hold it. Readers compare it with the data records before it.
std::string CountRecord(std::uint64_t dataRecords);

}  // namespace vestrel::srec
