#include "platform/sha256.h"

#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/text.h"

#include <openssl/evp.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace vestrel {

namespace {

std::string DigestHex(const unsigned char* digest, unsigned int size) {
    std::string hex;
    hex.reserve(2 * size);
    for (unsigned int i = 0; i < size; ++i) {
        hex += LowerHexDigit(digest[i] >> 4);
        hex += LowerHexDigit(digest[i]);
    }
    return hex;
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1)
        throw Error("SHA-256 is not available");
    return DigestHex(digest, size);
}

std::string Sha256HexOfFile(SystemFile& file, const std::filesystem::path& name) {
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        throw Error("SHA-256 is not available");
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const std::ptrdiff_t got = file.ReadSome(buffer.data(), buffer.size());
        if (got < 0) throw Error(CannotReadMessage(name, errno));
        if (got == 0) break;
        EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(got));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &size) != 1) throw Error("SHA-256 is not available");
    return DigestHex(digest, size);
}

}  // namespace vestrel
