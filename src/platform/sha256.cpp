#include "platform/sha256.h"

namespace platform {
namespace {

constexpr DWORD kDigestBytes = 32;

Sha256Result Failed(const wchar_t* call) {
  Sha256Result result;
  result.failedCall = call;
  result.error = ::GetLastError();
  return result;
}

}  // namespace

Sha256Result Sha256Of(const uint8_t* bytes, DWORD size) {
  HCRYPTPROV provider = 0;
  if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    return Failed(L"CryptAcquireContextW");
  }
  Sha256Result result;
  HCRYPTHASH hash = 0;
  BYTE digest[kDigestBytes] = {};
  DWORD length = sizeof digest;
  if (!::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
    result = Failed(L"CryptCreateHash");
  } else if (size != 0 && !::CryptHashData(hash, bytes, size, 0)) {
    result = Failed(L"CryptHashData");
  } else if (!::CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0) || length != kDigestBytes) {
    result = Failed(L"CryptGetHashParam");
  } else {
    static const char kDigits[] = "0123456789abcdef";
    for (BYTE byte : digest) {
      result.hex += kDigits[byte >> 4];
      result.hex += kDigits[byte & 0x0F];
    }
  }
  if (hash) ::CryptDestroyHash(hash);
  ::CryptReleaseContext(provider, 0);
  return result;
}

}  // namespace platform
