#include <gtest/gtest.h>
#include <string.h>

#include "bytes.h"
#include "crypto/aes.h"
#include "crypto/aes_instructions.h"
#include "crypto/cipher.h"
#include "payload/format.h"
#include "support/files.h"
#include "support/scratch_dir.h"

namespace {

// A context loaded with a raw AES-256 key and IV, as a derivation would.
CipherContext ContextFor(const Bytes& key, const Bytes& iv) {
    CipherContext ctx;
    ctx.roundCount = AesExpandKey(ctx.roundKeys, key.data(), 256);
    memcpy(ctx.feedbackRegister, iv.data(), 16);
    return ctx;
}

CipherContext PasswordContext() {
    CipherContext ctx;
    DeriveStreamKey(&ctx, u"stream test");
    return ctx;
}

using StreamFn = void (*)(CipherContext*, const void*, void*, uint32_t);

// `in` through `run` as one piece.
Bytes OnePiece(CipherContext* ctx, const Bytes& in, StreamFn run = DecryptStream) {
    Bytes out(in.size());
    run(ctx, in.data(), out.data(), (uint32_t)in.size());
    return out;
}

Bytes EncryptBlock(const CipherContext& ctx, const uint8_t* block) {
    Bytes out(16);
    AesEncryptBlock(ctx.roundKeys, 14, block, out.data());
    return out;
}

// One piece decrypted by hand: CFB-128 from `reg`, which ends holding the last block's ciphertext
// bytes, then the rest of that block's keystream.
Bytes ModelPiece(const CipherContext& key, uint8_t* reg, const Bytes& in) {
    Bytes out(in.size());
    for (size_t at = 0; at < in.size(); at += 16) {
        Bytes keystream = EncryptBlock(key, reg);
        size_t k = std::min<size_t>(16, in.size() - at);
        for (size_t i = 0; i < k; i++) out[at + i] = in[at + i] ^ keystream[i];
        memcpy(reg, keystream.data(), 16);
        memcpy(reg, &in[at], k);
    }
    return out;
}

Bytes Slice(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }

// NIST SP 800-38A, F.3.17 CFB128-AES256.Encrypt (F.3.18 is its inverse).
const char* SP800_38A_KEY = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
const char* SP800_38A_IV = "000102030405060708090a0b0c0d0e0f";
const char* SP800_38A_PLAIN =
    "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710";
const char* SP800_38A_CIPHER =
    "dc7e84bfda79164b7ecd8486985d3860 39ffed143b28b1c832113c6331e5407b"
    "df10132415e54b92a13ed0a8267ae2f9 75a385741ab9cef82031623d55b1e471";

// Piece lengths: empty, short, a byte off a block either way, many blocks with and without a tail.
std::vector<uint32_t> RandomPieces(std::mt19937& rng, size_t total) {
    std::vector<uint32_t> pieces;
    for (size_t used = 0; used < total;) {
        uint32_t n;
        switch (rng() % 4) {
        case 0: n = rng() % 48; break;
        case 1: n = 16 * (rng() % 20) + (rng() % 3 == 0 ? 0 : 1 + rng() % 15); break;
        case 2: n = 16 * (1 + rng() % 40); break;
        default: n = rng() % 3000; break;
        }
        n = (uint32_t)std::min<size_t>(n, total - used);
        pieces.push_back(n);
        used += n;
    }
    return pieces;
}

// `input` through `run` cut into `pieces`, in place or not; the register after every piece goes
// to `registers`.
Bytes RunPieces(StreamFn run, CipherContext ctx, const Bytes& input, const std::vector<uint32_t>& pieces,
                bool inPlace, std::vector<Bytes>* registers = nullptr) {
    Bytes out = input;
    size_t at = 0;
    for (uint32_t n : pieces) {
        if (inPlace) {
            run(&ctx, out.data() + at, out.data() + at, n);
        } else {
            Bytes piece(input.begin() + at, input.begin() + at + n), result(n + 1, 0xAA);  // a guard byte
            run(&ctx, piece.data(), result.data(), n);
            EXPECT_EQ(result[n], 0xAA) << "wrote past a piece of " << n;
            if (n) memcpy(out.data() + at, result.data(), n);
        }
        at += n;
        if (registers) registers->push_back(Bytes(ctx.feedbackRegister, ctx.feedbackRegister + 16));
    }
    return out;
}

// Every stream test runs on the table-driven AES and on the AES instructions where there are any.
class Stream : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam() && !AesInstructionsAvailable()) GTEST_SKIP() << "no AES instructions here";
        UseAesInstructions(GetParam());
    }
    void TearDown() override { UseAesInstructions(true); }
};

// Pieces whose lengths are multiples of 16 continue plain CFB-128.
TEST_P(Stream, Sp800_38aCfb128Aes256) {
    Bytes key = FromHex(SP800_38A_KEY), iv = FromHex(SP800_38A_IV);
    Bytes plain = FromHex(SP800_38A_PLAIN), cipher = FromHex(SP800_38A_CIPHER);
    for (uint32_t split : {64u, 16u, 32u, 48u}) {
        SCOPED_TRACE(split);
        std::vector<uint32_t> pieces(64 / split, split);
        if (64 % split) pieces.push_back(64 % split);
        std::vector<Bytes> dec, enc;
        EXPECT_EQ(ToHex(RunPieces(DecryptStream, ContextFor(key, iv), cipher, pieces, false, &dec)), ToHex(plain));
        EXPECT_EQ(ToHex(RunPieces(EncryptStream, ContextFor(key, iv), plain, pieces, false, &enc)), ToHex(cipher));
        // The register ends on the last ciphertext block.
        EXPECT_EQ(ToHex(dec.back()), ToHex(Slice(cipher, 48, 16)));
        EXPECT_EQ(ToHex(enc.back()), ToHex(Slice(cipher, 48, 16)));
    }
}

TEST_P(Stream, IoChunkPiecesDecryptLikeOnePiece) {
    static_assert(IO_CHUNK % 16 == 0, "data chunks must end on block boundaries");
    std::mt19937 rng(160000);
    Bytes cipher = RandomBytes(rng, 2 * IO_CHUNK);
    CipherContext whole = PasswordContext();
    std::vector<Bytes> registers;
    EXPECT_TRUE(RunPieces(DecryptStream, PasswordContext(), cipher, {IO_CHUNK, IO_CHUNK}, false, &registers) ==
                OnePiece(&whole, cipher));
    EXPECT_EQ(ToHex(registers.back()), ToHex(whole.feedbackRegister, 16));
}

// A piece starting mid-block re-encrypts the mixed register: only the first 8 bytes match one piece.
TEST_P(Stream, HalfBlockPiecesRestartTheBlock) {
    std::mt19937 rng(8);
    Bytes cipher = RandomBytes(rng, 16);
    CipherContext whole = PasswordContext();
    Bytes expected = OnePiece(&whole, cipher);
    Bytes actual = RunPieces(DecryptStream, PasswordContext(), cipher, {8, 8}, false);
    EXPECT_EQ(ToHex(Slice(actual, 0, 8)), ToHex(Slice(expected, 0, 8)));
    EXPECT_NE(ToHex(Slice(actual, 8, 8)), ToHex(Slice(expected, 8, 8)));
}

// The name is one piece, the data the next: the data's first keystream block is E(IV) for L = 0,
// E(last name block) for L = 16 or 32, E(5 name bytes || E(IV)[5..15]) for L = 5; then plain CFB-128.
TEST_P(Stream, DataPieceAfterNamePiece) {
    std::mt19937 rng(5);
    const Bytes data = RandomBytes(rng, 100);
    for (uint32_t nameLength : {0u, 5u, 16u, 21u, 32u}) {
        SCOPED_TRACE(nameLength);
        const Bytes name = RandomBytes(rng, nameLength);
        CipherContext ctx = PasswordContext();
        const CipherContext start = ctx;

        Bytes plainName = OnePiece(&ctx, name);
        Bytes plainData = OnePiece(&ctx, data);

        uint8_t reg[16];  // the expected register before the data piece
        memcpy(reg, start.feedbackRegister, 16);
        EXPECT_EQ(ToHex(ModelPiece(start, reg, name)), ToHex(plainName));
        if (nameLength == 16) {
            EXPECT_EQ(ToHex(reg, 16), ToHex(name));
        }
        if (nameLength == 5) {
            Bytes mixed = Slice(name, 0, 5);
            Bytes firstKeystream = EncryptBlock(start, start.feedbackRegister);
            mixed.insert(mixed.end(), firstKeystream.begin() + 5, firstKeystream.end());
            EXPECT_EQ(ToHex(reg, 16), ToHex(mixed));
        }
        EXPECT_EQ(ToHex(ModelPiece(start, reg, data)), ToHex(plainData));  // plain CFB-128 from there
    }
}

TEST_P(Stream, ZeroLengthPieceChangesNothing) {
    CipherContext ctx = PasswordContext();
    const CipherContext before = ctx;
    uint8_t out[4] = {1, 2, 3, 4};
    DecryptStream(&ctx, nullptr, out, 0);
    EncryptStream(&ctx, nullptr, out, 0);
    EXPECT_EQ(memcmp(&ctx, &before, sizeof(ctx)), 0);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[3], 4);
}

// Random pieces (0 included) round-trip, and in place give the separate-buffer bytes.
TEST_P(Stream, RandomPiecesRoundTripAndInPlace) {
    std::mt19937 rng(38);
    for (int trial = 0; trial < 50; trial++) {
        const Bytes plain = RandomBytes(rng, rng() % 600);
        std::vector<uint32_t> pieces;
        for (uint32_t at = 0; at < plain.size();) {
            uint32_t n = std::min<uint32_t>(rng() % 40, (uint32_t)plain.size() - at);
            pieces.push_back(n);
            at += n;
        }
        pieces.push_back(0);

        Bytes cipher = RunPieces(EncryptStream, PasswordContext(), plain, pieces, false);
        ASSERT_TRUE(RunPieces(EncryptStream, PasswordContext(), plain, pieces, true) == cipher) << "trial " << trial;
        ASSERT_TRUE(RunPieces(DecryptStream, PasswordContext(), cipher, pieces, false) == plain) << "trial " << trial;
        ASSERT_TRUE(RunPieces(DecryptStream, PasswordContext(), cipher, pieces, true) == plain) << "trial " << trial;
        if (plain.size() >= 16) {
            ASSERT_FALSE(cipher == plain);
        }
    }
}

// The instruction path gives the table path's bytes and registers, in place or not: random pieces,
// and every piece of 0 to 47 bytes after a first piece of 0 to 17 bytes.
TEST(StreamPaths, InstructionsMatchTables) {
    if (!AesInstructionsAvailable()) GTEST_SKIP() << "no AES instructions here";
    std::mt19937 rng(20240601);
    std::vector<std::vector<uint32_t>> cuts;
    for (int round = 0; round < 40; round++) cuts.push_back(RandomPieces(rng, rng() % 20000));
    for (uint32_t first = 0; first < 18; first++)
        for (uint32_t second = 0; second < 48; second++) cuts.push_back({first, second});
    for (size_t c = 0; c < cuts.size(); c++) {
        const std::vector<uint32_t>& pieces = cuts[c];
        size_t total = 0;
        for (uint32_t n : pieces) total += n;
        CipherContext ctx = ContextFor(RandomBytes(rng, 32), RandomBytes(rng, 16));
        Bytes data = RandomBytes(rng, total);
        bool inPlace = c % 2 == 0;
        std::vector<Bytes> encTables, decTables, encFast, decFast;
        UseAesInstructions(false);
        Bytes cipher = RunPieces(EncryptStream, ctx, data, pieces, false, &encTables);
        ASSERT_EQ(RunPieces(DecryptStream, ctx, cipher, pieces, false, &decTables), data);
        UseAesInstructions(true);
        ASSERT_EQ(RunPieces(EncryptStream, ctx, data, pieces, inPlace, &encFast), cipher) << "cut " << c;
        ASSERT_EQ(RunPieces(DecryptStream, ctx, cipher, pieces, inPlace, &decFast), data) << "cut " << c;
        ASSERT_TRUE(encFast == encTables && decFast == decTables) << "registers differ, cut " << c;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, Stream, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Instructions" : "Tables"; });

#ifndef _WIN32
// openssl's AES-256-CFB encryption of `plain`; empty when it fails.
Bytes OpensslEncrypt(const Bytes& key, const Bytes& iv, const Bytes& plain) {
    ScratchDir dir;
    std::string command = "openssl enc -aes-256-cfb -K " + ToHex(key) + " -iv " + ToHex(iv) + " -nopad -in " +
                          (dir / "plain") + " -out " + (dir / "cipher");
    if (!WriteFileBytes(dir / "plain", plain) || system(command.c_str()) != 0) return Bytes();
    return ToBytes(ReadFileBytes(dir / "cipher"));
}

// openssl's AES-256-CFB under the password chain's key and IV is one piece of the stream cipher.

TEST(OpensslCfb, SinglePieceIsCfb128) {
    if (system("openssl version >/dev/null 2>&1") != 0) GTEST_SKIP() << "openssl not found";
    // Key K1 || K2 and IV of the password "pw" (md5sum chain, see the key tests).
    Bytes key = FromHex("d29e9e1676c2b9d01b1e10adce084822d8ca3969e1700825027537123d3023fa");
    Bytes iv = FromHex("18554fab78e6cfd9dfc93a6fb8294b50");
    std::mt19937 rng(17);
    for (uint32_t length : {16u, 4096u, 4101u}) {
        SCOPED_TRACE(length);
        Bytes plain = RandomBytes(rng, length), cipher = OpensslEncrypt(key, iv, plain);
        ASSERT_EQ(cipher.size(), plain.size());

        CipherContext ctx;
        DeriveStreamKey(&ctx, u"pw");
        EXPECT_TRUE(OnePiece(&ctx, cipher) == plain);
        DeriveStreamKey(&ctx, u"pw");
        EXPECT_TRUE(OnePiece(&ctx, plain, EncryptStream) == cipher);
    }
}
#endif

}  // namespace
