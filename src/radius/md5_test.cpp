#include "radius/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace vantorix {
namespace {

std::string hex_of(const std::uint8_t* digest) {
  std::string text;
  char pair[3];
  for (int i = 0; i < kMd5DigestSize; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    text += pair;
  }
  return text;
}

std::string md5_hex(const std::string& message) {
  std::uint8_t digest[kMd5DigestSize];
  md5_digest(digest, reinterpret_cast<const std::uint8_t*>(message.data()),
             static_cast<std::int32_t>(message.size()));
  return hex_of(digest);
}

struct Vector {
  std::string message;
  const char* digest;
};

TEST(Md5, Rfc1321Suite) {
  const Vector vectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& v : vectors) EXPECT_EQ(md5_hex(v.message), v.digest) << '"' << v.message << '"';
}

// 55 bytes still fit the length in the same block, 56 need a second one; 64
// fills a block exactly and 65 starts another.
TEST(Md5, PaddingBoundaries) {
  const Vector vectors[] = {
      {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
      {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
      {std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
      {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
      {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
      {std::string(119, 'a'), "8a7bd0732ed6a28ce75f6dabc90e1613"},
      {std::string(120, 'a'), "5f61c0ccad4cac44c75ff505e1f1e537"},
      {std::string(128, 'a'), "e510683b3f5ffe4093d021808bc6ff70"},
  };
  for (const auto& v : vectors) EXPECT_EQ(md5_hex(v.message), v.digest) << v.message.size() << " bytes";
}

TEST(Md5, DigestsZeroBytesOverTheWholeLength) {
  EXPECT_EQ(md5_hex(std::string(1, '\0')), "93b885adfe0da089cdf634904fd59f71");
  EXPECT_EQ(md5_hex(std::string("ab\0cd\0\0", 7)), "3949d41cc57c8288991cb6c229fefafd");
  std::string all_bytes;
  for (int i = 0; i < 256; ++i) all_bytes += static_cast<char>(i);
  EXPECT_EQ(md5_hex(all_bytes), "e2c865db4162bed963bfaa9ef6ac18f0");
}

TEST(Md5, PiecesOfAnySizeGiveTheDigestOfTheWhole) {
  std::string message;
  for (int i = 0; i < 200; ++i) message += static_cast<char>(i * 31 + 7);
  const std::string whole = md5_hex(message);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(message.data());
  for (std::size_t first = 0; first <= message.size(); first += 7) {
    for (std::size_t second = first; second <= message.size(); second += 13) {
      Md5 md5;
      md5.update({bytes, first});
      md5.update({bytes + first, second - first});
      Md5 copy = md5;  // a copy carries the state so far
      md5.update({bytes + second, message.size() - second});
      std::uint8_t digest[kMd5DigestSize];
      md5.final(digest);
      ASSERT_EQ(hex_of(digest), whole) << first << "/" << second;
      copy.update({bytes + second, message.size() - second});
      copy.final(digest);
      ASSERT_EQ(hex_of(digest), whole);
      // The one-pass form, with an empty piece among them.
      md5_of({{bytes, first}, {bytes + first, second - first}, {}, {bytes + second, message.size() - second}}, digest);
      ASSERT_EQ(hex_of(digest), whole) << first << "/" << second;
    }
  }
}

std::string hmac_hex(const std::string& key, const std::string& message) {
  HmacMd5 hmac({reinterpret_cast<const std::uint8_t*>(key.data()), key.size()});
  // In two pieces, as the RADIUS code feeds it.
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(message.data());
  hmac.update({bytes, message.size() / 2});
  hmac.update({bytes + message.size() / 2, message.size() - message.size() / 2});
  std::uint8_t code[kMd5DigestSize];
  std::uint8_t in_one_pass[kMd5DigestSize];
  hmac.code_of({{bytes, message.size() / 3}, {bytes + message.size() / 3, message.size() - message.size() / 3}},
               in_one_pass);
  hmac.final(code);
  EXPECT_EQ(hex_of(in_one_pass), hex_of(code)) << "the one-pass code";
  return hex_of(code);
}

TEST(HmacMd5, Rfc2104AndRfc2202Vectors) {
  EXPECT_EQ(hmac_hex(std::string(16, '\x0b'), "Hi There"), "9294727a3638bb1c13f48ef8158bfc9d");
  EXPECT_EQ(hmac_hex("Jefe", "what do ya want for nothing?"), "750c783e6ab0b503eaa86e310a5db738");
  EXPECT_EQ(hmac_hex(std::string(16, '\xaa'), std::string(50, '\xdd')), "56be34521d144c88dbb8c733f0e8b3f6");
  // Keys longer than a block are digested first (RFC 2202 test cases 6 and 7).
  EXPECT_EQ(hmac_hex(std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First"),
            "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");
  EXPECT_EQ(hmac_hex(std::string(80, '\xaa'),
                     "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
            "6f630fad67cda0ee1fb1f562db3aa53e");
  EXPECT_EQ(hmac_hex("", ""), "74e6f7298a9c2d168935f58c001bad88");
}

TEST(Md5, NegativeLengthDigestsNothing) {
  std::uint8_t digest[kMd5DigestSize];
  const std::uint8_t input[] = {'x'};
  md5_digest(digest, input, -5);
  EXPECT_EQ(hex_of(digest), "d41d8cd98f00b204e9800998ecf8427e");
}

}  // namespace
}  // namespace vantorix
