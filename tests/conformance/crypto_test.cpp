// CryptoAPI's SHA-256 through the AES provider, as the command line identifies image files: known
// digests through the program's own wrapper, and the errors of the calls it makes.
#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "conformance.h"
#include "platform/sha256.h"

namespace {

using conformance::kPoison;

struct Vector {
  const char* name;
  std::string message;
  const char* sha256;
};

// FIPS 180-2's examples, and one million "a".
const std::vector<Vector>& KnownVectors() {
  static const std::vector<Vector> vectors = {
      {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"a million a", std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  return vectors;
}

std::string Hex(const BYTE* bytes, DWORD size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (DWORD i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0x0F];
  }
  return hex;
}

class Crypto : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        << GetLastError();
  }
  void TearDown() override {
    if (hash_) {
      EXPECT_TRUE(CryptDestroyHash(hash_));
    }
    EXPECT_TRUE(CryptReleaseContext(provider_, 0));
  }
  HCRYPTHASH NewHash() {
    EXPECT_TRUE(CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_)) << GetLastError();
    return hash_;
  }

  HCRYPTPROV provider_ = 0;
  HCRYPTHASH hash_ = 0;
};

TEST(CryptoDigest, KnownVectorsThroughTheWrapper) {
  for (const Vector& v : KnownVectors()) {
    platform::Sha256Result result =
        platform::Sha256Of(reinterpret_cast<const uint8_t*>(v.message.data()), static_cast<DWORD>(v.message.size()));
    EXPECT_EQ(result.hex, v.sha256) << v.name;
    EXPECT_EQ(result.failedCall, nullptr) << v.name;
  }
}

TEST_F(Crypto, DataInUnevenPiecesGivesTheSameDigest) {
  const Vector& v = KnownVectors().back();
  HCRYPTHASH hash = NewHash();
  const size_t pieces[] = {1, 63, 64, 65, 4095, 100000};
  size_t at = 0;
  for (size_t i = 0; at < v.message.size(); ++i) {
    DWORD piece = static_cast<DWORD>(std::min(pieces[i % std::size(pieces)], v.message.size() - at));
    ASSERT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>(v.message.data()) + at, piece, 0));
    at += piece;
  }
  BYTE value[32] = {};
  DWORD length = sizeof value;
  ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, value, &length, 0));
  EXPECT_EQ(length, 32u);
  EXPECT_EQ(Hex(value, length), v.sha256);
}

TEST(CryptoErrors, AcquireContextRefusesProviderTypes) {
  struct Case {
    DWORD type;
    HRESULT error;
  };
  // Types run from 1 to 999; 999 is one no provider registers.
  for (const Case& c : {Case{0, NTE_BAD_PROV_TYPE}, Case{1000, NTE_BAD_PROV_TYPE}, Case{999, NTE_PROV_TYPE_NOT_DEF}}) {
    HCRYPTPROV provider = kPoison;
    SetLastError(kPoison);
    EXPECT_FALSE(CryptAcquireContextW(&provider, nullptr, nullptr, c.type, CRYPT_VERIFYCONTEXT)) << c.type;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.error)) << c.type;
  }
}

TEST_F(Crypto, CreateHashRefusesFlagsAndOtherAlgorithms) {
  struct Case {
    ALG_ID algid;
    DWORD flags;
    HRESULT error;
  };
  // (The host knows no algorithm but SHA-256 and refuses the others with NTE_BAD_ALGID; Wine's
  // provider takes more, even CALG_RC4, so that is not compared.)
  for (const Case& c : {Case{CALG_SHA_256, 1, NTE_BAD_FLAGS}}) {
    HCRYPTHASH hash = 0;
    SetLastError(kPoison);
    EXPECT_FALSE(CryptCreateHash(provider_, c.algid, 0, c.flags, &hash));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.error)) << c.algid << " " << c.flags;
  }
  SetLastError(kPoison);
  EXPECT_FALSE(CryptCreateHash(provider_, CALG_SHA_256, 0, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Crypto, HashValueNegotiatesItsSizeAndEndsTheHash) {
  HCRYPTHASH hash = NewHash();
  ASSERT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>("ab"), 2, 0));

  DWORD size = 0, length = sizeof size;
  ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &length, 0));
  EXPECT_EQ(size, 32u);
  EXPECT_EQ(length, sizeof size);

  ASSERT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>("c"), 1, 0));
  // Asking for the size alone answers it and ends the hash already.
  length = kPoison;
  EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, nullptr, &length, 0));
  EXPECT_EQ(length, 32u);

  BYTE value[32] = {};
  length = 31;
  SetLastError(kPoison);
  EXPECT_FALSE(CryptGetHashParam(hash, HP_HASHVAL, value, &length, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(length, 32u);
  ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, value, &length, 0));
  EXPECT_EQ(Hex(value, length), KnownVectors()[1].sha256);

  SetLastError(kPoison);
  EXPECT_FALSE(CryptHashData(hash, reinterpret_cast<const BYTE*>("d"), 1, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_HASH_STATE));

  SetLastError(kPoison);
  EXPECT_FALSE(CryptGetHashParam(hash, 0x7F, value, &length, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_TYPE));
}

TEST(CryptoErrors, DestroyingNoHashFails) {
  SetLastError(kPoison);
  EXPECT_FALSE(CryptDestroyHash(0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
