#include "platform/sha256.h"

#include "platform/error.h"
#include "platform/text.h"

#include <openssl/evp.h>

namespace vestrel {

std::string Sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1)
        throw Error("SHA-256 is not available");
    std::string hex;
    hex.reserve(2 * size);
    for (unsigned int i = 0; i < size; ++i) {
        hex += LowerHexDigit(digest[i] >> 4);
        hex += LowerHexDigit(digest[i]);
    }
    return hex;
}

}  // namespace vestrel
