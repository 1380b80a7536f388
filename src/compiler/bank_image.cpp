#include "compiler/bank_image.h"

#include <stdexcept>
#include <string>

namespace vestrel {

namespace {

std::size_t BankStart(int number) {
    if (number < 1 || number > kBankCount)
        throw std::out_of_range("There is no bank " + std::to_string(number) + "; banks are numbered 1 to 5");
    return static_cast<std::size_t>(number - 1) * kBankSize;
}

}  // namespace

std::span<std::uint8_t, kBankSize> BankImages::Bank(int number) {
    return std::span<std::uint8_t, kBankSize>(area_.data() + BankStart(number), kBankSize);
}

std::span<const std::uint8_t, kBankSize> BankImages::Bank(int number) const {
    return std::span<const std::uint8_t, kBankSize>(area_.data() + BankStart(number), kBankSize);
}

}  // namespace vestrel
