// MD5 through the platform's cryptographic services.
#include <windows.h>

#include <wincrypt.h>

#include "base/Md5.h"

namespace tallyhive {

namespace {

struct Provider {
    HCRYPTPROV handle = 0;
    ~Provider() {
        if (handle) ::CryptReleaseContext(handle, 0);
    }
};
struct Hash {
    HCRYPTHASH handle = 0;
    ~Hash() {
        if (handle) ::CryptDestroyHash(handle);
    }
};

}  // namespace

bool ComputeMd5(std::string_view bytes, Md5Digest& digest) {
    Provider provider;
    if (!::CryptAcquireContextW(&provider.handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return false;
    Hash hash;
    if (!::CryptCreateHash(provider.handle, CALG_MD5, 0, 0, &hash.handle)) return false;
    if (!::CryptHashData(hash.handle, reinterpret_cast<const BYTE*>(bytes.data()),
                         static_cast<DWORD>(bytes.size()), 0))
        return false;
    DWORD length = static_cast<DWORD>(digest.size());
    return ::CryptGetHashParam(hash.handle, HP_HASHVAL, digest.data(), &length, 0) && length == digest.size();
}

}  // namespace tallyhive
