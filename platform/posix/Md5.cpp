// MD5 through OpenSSL's one-shot digest; the older MD5() call is deprecated in OpenSSL 3.
#include <openssl/evp.h>

#include <string_view>

#include "base/Md5.h"

namespace tallyhive {

bool ComputeMd5(std::string_view bytes, Md5Digest& digest) {
    const EVP_MD* md5 = EVP_md5();
    if (md5 == nullptr) return false;
    Md5Digest result{};
    unsigned int length = 0;
    // A provider without MD5 (a FIPS-only configuration) makes the call fail; report it, never guess.
    if (EVP_Digest(bytes.data(), bytes.size(), result.data(), &length, md5, nullptr) != 1) return false;
    if (length != result.size()) return false;
    digest = result;
    return true;
}

}  // namespace tallyhive
