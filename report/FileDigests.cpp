#include "report/FileDigests.h"

#include <openssl/evp.h>

#include <array>
#include <fstream>
#include <memory>
#include <vector>

namespace report {
namespace {

using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

std::string Hex(const unsigned char* bytes, unsigned int length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0xF]);
  }
  return text;
}

}  // namespace

std::optional<FileDigests> DigestFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  DigestContext md5(EVP_MD_CTX_new(), &EVP_MD_CTX_free), sha1(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (!md5 || !sha1 || EVP_DigestInit_ex(md5.get(), EVP_md5(), nullptr) != 1 ||
      EVP_DigestInit_ex(sha1.get(), EVP_sha1(), nullptr) != 1) {
    return std::nullopt;
  }
  std::vector<char> block(1 << 20);
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (EVP_DigestUpdate(md5.get(), block.data(), got) != 1 || EVP_DigestUpdate(sha1.get(), block.data(), got) != 1) {
      return std::nullopt;
    }
  }
  if (!in.eof()) return std::nullopt;
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  FileDigests out;
  if (EVP_DigestFinal_ex(md5.get(), digest.data(), &length) != 1) return std::nullopt;
  out.md5 = Hex(digest.data(), length);
  if (EVP_DigestFinal_ex(sha1.get(), digest.data(), &length) != 1) return std::nullopt;
  out.sha1 = Hex(digest.data(), length);
  return out;
}

}  // namespace report
