#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vestrel {

inline constexpr std::size_t kBankSize = 16384;
inline constexpr int kBankCount = 5;

// The five bank images, numbered 1 to 5, held as one contiguous area of
// 81920 bytes in bank order. All zero when made; nothing clears it as a whole,
// so a byte that a compile does not write keeps what an earlier compile left.
class BankImages {
public:
    std::span<std::uint8_t, kBankSize> Bank(int number);
    std::span<const std::uint8_t, kBankSize> Bank(int number) const;

    std::span<const std::uint8_t> Area() const { return area_; }

private:
    std::array<std::uint8_t, kBankSize * kBankCount> area_{};
};

}  // namespace vestrel
