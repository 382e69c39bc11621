// CryptoAPI of the simulated machine: verify-context providers of type PROV_RSA_AES and their
// SHA-256 hash objects. The digest itself is OpenSSL's; this file keeps the handles (counted in
// the leak check) and the errors advapi32 and the provider give: advapi32 checks the handles
// and the out-parameters, the provider the flags, the algorithm and the hash's state.
#include <openssl/evp.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "handle_table.h"
#include "internal.h"
#include "winhost/wincrypt.h"

namespace host {
namespace crypto {
namespace {

constexpr DWORD kSha256Size = 32;
// The highest provider type advapi32 takes (the SDK has no name for it).
constexpr DWORD kHighestProviderType = 999;

struct DigestFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

struct Hash {
  HCRYPTPROV provider = 0;
  std::shared_ptr<EVP_MD_CTX> digest;
  bool finished = false;
  unsigned char value[kSha256Size] = {};
};

struct Provider {};

struct CryptoState {
  std::mutex lock;
  HandleTable<Provider> providers{"crypto provider", 0xC0000, 8};
  HandleTable<Hash> hashes{"hash", 0xC8000, 8};
};

CryptoState& State() {
  static CryptoState* state = new CryptoState;
  return *state;
}

void Reset() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().providers.Clear(true);
  State().hashes.Clear(true);
}

std::vector<std::string> ListOpen() {
  std::lock_guard<std::mutex> guard(State().lock);
  std::vector<std::string> lines = State().providers.List([](const Provider&) { return std::string(); });
  for (std::string& line : State().hashes.List([](const Hash&) { return std::string("(SHA-256)"); })) {
    lines.push_back(std::move(line));
  }
  return lines;
}

const bool g_registered = [] {
  RegisterArea(Area{"crypto", Reset, ListOpen});
  return true;
}();

BOOL Fail(HRESULT error) {
  SetLastError(static_cast<DWORD>(error));
  return FALSE;
}

// The provider's copy of a value into the caller's buffer: a null buffer asks for the size, a
// short one is refused with ERROR_MORE_DATA; either way the size is written back.
BOOL CopyParam(BYTE* buffer, DWORD* length, const void* value, DWORD size) {
  if (buffer) {
    if (*length < size) {
      *length = size;
      return Fail(ERROR_MORE_DATA);
    }
    std::memcpy(buffer, value, size);
  }
  *length = size;
  return TRUE;
}

}  // namespace
}  // namespace crypto
}  // namespace host

namespace crypto = host::crypto;

BOOL WINAPI CryptAcquireContextW(HCRYPTPROV* phProv, LPCWSTR szContainer, LPCWSTR szProvider, DWORD dwProvType,
                                 DWORD dwFlags) {
  HOST_ENTER("CryptAcquireContextW", FALSE);
  if (dwProvType < 1 || dwProvType > crypto::kHighestProviderType) return crypto::Fail(NTE_BAD_PROV_TYPE);
  if (!phProv) return crypto::Fail(ERROR_INVALID_PARAMETER);
  // The machine has one provider type, the AES provider, and no key containers: only a verify
  // context of the default provider opens.
  if (dwProvType != PROV_RSA_AES || (szProvider && *szProvider)) return crypto::Fail(NTE_PROV_TYPE_NOT_DEF);
  if (dwFlags != CRYPT_VERIFYCONTEXT || (szContainer && *szContainer)) return crypto::Fail(NTE_BAD_FLAGS);
  std::lock_guard<std::mutex> guard(crypto::State().lock);
  *phProv = crypto::State().providers.Add(crypto::Provider{});
  return TRUE;
}

BOOL WINAPI CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
  HOST_ENTER("CryptReleaseContext", FALSE);
  if (!hProv) return crypto::Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> guard(crypto::State().lock);
  if (!crypto::State().providers.Find(hProv)) return crypto::Fail(NTE_BAD_UID);
  if (dwFlags) return crypto::Fail(NTE_BAD_FLAGS);
  crypto::State().providers.Remove(hProv);
  return TRUE;
}

BOOL WINAPI CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags, HCRYPTHASH* phHash) {
  HOST_ENTER("CryptCreateHash", FALSE);
  std::lock_guard<std::mutex> guard(crypto::State().lock);
  // The machine has no keys, so any key handle is one advapi32 does not know.
  if (!phHash || !crypto::State().providers.Find(hProv) || hKey) return crypto::Fail(ERROR_INVALID_PARAMETER);
  if (dwFlags) return crypto::Fail(NTE_BAD_FLAGS);
  if (Algid != CALG_SHA_256) return crypto::Fail(NTE_BAD_ALGID);
  crypto::Hash hash;
  hash.provider = hProv;
  hash.digest.reset(EVP_MD_CTX_new(), crypto::DigestFree());
  if (!hash.digest || EVP_DigestInit_ex(hash.digest.get(), EVP_sha256(), nullptr) != 1) {
    return crypto::Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  *phHash = crypto::State().hashes.Add(std::move(hash));
  return TRUE;
}

BOOL WINAPI CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags) {
  HOST_ENTER("CryptHashData", FALSE);
  std::lock_guard<std::mutex> guard(crypto::State().lock);
  crypto::Hash* hash = crypto::State().hashes.Find(hHash);
  if (!hash || !crypto::State().providers.Find(hash->provider)) return crypto::Fail(ERROR_INVALID_PARAMETER);
  if (dwFlags) return crypto::Fail(NTE_BAD_FLAGS);
  if (hash->finished) return crypto::Fail(NTE_BAD_HASH_STATE);
  if (dwDataLen && EVP_DigestUpdate(hash->digest.get(), pbData, dwDataLen) != 1) return crypto::Fail(NTE_FAIL);
  return TRUE;
}

BOOL WINAPI CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen, DWORD dwFlags) {
  HOST_ENTER("CryptGetHashParam", FALSE);
  std::lock_guard<std::mutex> guard(crypto::State().lock);
  crypto::Hash* hash = crypto::State().hashes.Find(hHash);
  if (!hash || !pdwDataLen || !crypto::State().providers.Find(hash->provider)) {
    return crypto::Fail(ERROR_INVALID_PARAMETER);
  }
  if (dwFlags) return crypto::Fail(NTE_BAD_FLAGS);
  switch (dwParam) {
    case HP_ALGID: {
      ALG_ID algid = CALG_SHA_256;
      return crypto::CopyParam(pbData, pdwDataLen, &algid, sizeof algid);
    }
    case HP_HASHSIZE: {
      DWORD size = crypto::kSha256Size;
      return crypto::CopyParam(pbData, pdwDataLen, &size, sizeof size);
    }
    case HP_HASHVAL:
      // Any query of the value ends the hash, a size query or a short buffer too (as Wine's
      // provider does): no more data goes into it.
      if (!hash->finished) {
        unsigned int length = 0;
        EVP_DigestFinal_ex(hash->digest.get(), hash->value, &length);
        hash->finished = true;
      }
      return crypto::CopyParam(pbData, pdwDataLen, hash->value, crypto::kSha256Size);
    default:
      return crypto::Fail(NTE_BAD_TYPE);
  }
}

BOOL WINAPI CryptDestroyHash(HCRYPTHASH hHash) {
  HOST_ENTER("CryptDestroyHash", FALSE);
  std::lock_guard<std::mutex> guard(crypto::State().lock);
  if (!crypto::State().hashes.Remove(hHash)) return crypto::Fail(ERROR_INVALID_PARAMETER);
  return TRUE;
}
