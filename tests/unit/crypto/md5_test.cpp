#include <gtest/gtest.h>
#include <string.h>

#include "bytes.h"
#include "crypto/md5.h"

namespace {

struct DigestCase {
    std::string message;
    const char* digest;
};

// RFC 1321, appendix A.5 (test suite).
const DigestCase RFC1321_SUITE[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

// 55, 56, 63 and 64 bytes (1, 64, 57 and 56 bytes of padding) of the 80 digits, digests from
//   printf '1234567890%.0s' 1 2 3 4 5 6 7 8 | head -c N | md5sum
const DigestCase PADDING_BOUNDARIES[] = {
    {std::string(RFC1321_SUITE[6].message, 0, 55), "c9ccf168914a1bcfc3229f1948e67da0"},
    {std::string(RFC1321_SUITE[6].message, 0, 56), "49f193adce178490e34d1b3a4ec0064c"},
    {std::string(RFC1321_SUITE[6].message, 0, 63), "c3eb67ece68488bb394241d4f6a54244"},
    {std::string(RFC1321_SUITE[6].message, 0, 64), "eb6c4179c0a7c82cc2828c1e6338e165"},
};

void PrintTo(const DigestCase& c, std::ostream* os) { *os << c.message.size() << " bytes: \"" << c.message << '"'; }
class Md5Digest : public ::testing::TestWithParam<DigestCase> {};
TEST_P(Md5Digest, OfMessage) { EXPECT_EQ(ToHex(Md5Of(ToBytes(GetParam().message))), GetParam().digest); }
INSTANTIATE_TEST_SUITE_P(Rfc1321TestSuite, Md5Digest, ::testing::ValuesIn(RFC1321_SUITE));
INSTANTIATE_TEST_SUITE_P(PaddingBoundaries, Md5Digest, ::testing::ValuesIn(PADDING_BOUNDARIES));

// Pieces of any size, 0 included, give the one-shot digest (buffered and direct paths).
TEST(Md5, PiecewiseEqualsOneShot) {
    std::mt19937 rng(1321);
    for (int trial = 0; trial < 200; trial++) {
        Bytes message = RandomBytes(rng, rng() % 700);
        Md5Context ctx;
        Md5Init(&ctx);
        size_t at = 0;
        while (at < message.size()) {
            size_t piece = std::min<size_t>(rng() % 140, message.size() - at);
            Md5Update(&ctx, message.data() + at, (uint32_t)piece);
            at += piece;
        }
        Md5Update(&ctx, nullptr, 0);
        uint8_t digest[16];
        Md5Final(digest, &ctx);
        ASSERT_EQ(ToHex(digest, 16), ToHex(Md5Of(message))) << "trial " << trial;
    }
}

TEST(Md5, BitCountCarriesIntoHighWord) {
    Md5Context ctx;
    Md5Init(&ctx);
    ctx.count[0] = 0xFFFFFE00;  // whole blocks absorbed, buffer empty
    uint8_t block[64] = {};
    Md5Update(&ctx, block, 64);  // adds 512 bits: the low word wraps
    EXPECT_EQ(ctx.count[0], 0u);
    EXPECT_EQ(ctx.count[1], 1u);
}

TEST(Md5, FinalWipesWholeContext) {
    Md5Context ctx;
    memset(&ctx, 0xA5, sizeof(ctx));
    Md5Init(&ctx);
    Md5Update(&ctx, "partial block", 13);
    uint8_t digest[16];
    Md5Final(digest, &ctx);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&ctx);
    for (size_t i = 0; i < sizeof(ctx); i++) ASSERT_EQ(p[i], 0) << "byte " << i;
}

}  // namespace
