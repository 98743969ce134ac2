// The faster stream paths against the byte loops of cipher.cpp: same bytes,
// same register after every piece, in place or not, for every path this
// build and processor can run.
#include <gtest/gtest.h>
#include <string.h>

#include "bytes.h"
#include "crypto/aes.h"
#include "crypto/fast/stream_fast.h"
#include "payload/format.h"

namespace {

struct PathCase {
    const char* name;
    StreamPath path;
};

const PathCase PATHS[] = {
    {"bytes", STREAM_PATH_BYTES},
    {"words", STREAM_PATH_WORDS},
    {"aesni", STREAM_PATH_AESNI},
};

// Installs a path for one test and puts the byte loops back afterwards, so
// that no other test in the program runs on an accelerator by accident.
class StreamPaths : public ::testing::TestWithParam<PathCase> {
protected:
    void SetUp() override {
        if (!StreamPathAvailable(GetParam().path))
            GTEST_SKIP() << GetParam().name << " is not available on this processor";
    }
    void TearDown() override { UseStreamPath(STREAM_PATH_BYTES); }
    void UsePath() { ASSERT_TRUE(UseStreamPath(GetParam().path)); }
};

CipherContext KeyedContext(std::mt19937& rng) {
    CipherContext ctx;
    Bytes key = RandomBytes(rng, 32), iv = RandomBytes(rng, 16);
    ctx.roundCount = AesExpandKey(ctx.roundKeys, key.data(), 256);
    memcpy(ctx.feedbackRegister, iv.data(), 16);
    return ctx;
}

// Piece lengths that cover the awkward cases: empty, short, one byte off a
// block either way, and several blocks with and without a remainder
// (enough for the four-block groups of the AES-NI path, and a tail).
std::vector<uint32_t> RandomPieces(std::mt19937& rng, size_t total) {
    std::vector<uint32_t> pieces;
    size_t used = 0;
    while (used < total) {
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

using Runner = void (*)(CipherContext*, const void*, void*, uint32_t);

// Runs `run` over `input` cut into `pieces`; checks the register after each
// piece against `registers` when given, else records them there.
Bytes RunPieces(Runner run, CipherContext ctx, const Bytes& input, const std::vector<uint32_t>& pieces,
                bool inPlace, std::vector<Bytes>* registers, bool record) {
    Bytes out = input;
    size_t at = 0;
    for (size_t i = 0; i < pieces.size(); i++) {
        if (inPlace) {
            run(&ctx, out.data() + at, out.data() + at, pieces[i]);
        } else {
            Bytes piece(input.begin() + at, input.begin() + at + pieces[i]);
            Bytes result(pieces[i] + 1, 0xAA);  // one guard byte behind the piece
            run(&ctx, piece.data(), result.data(), pieces[i]);
            EXPECT_EQ(result[pieces[i]], 0xAA) << "wrote past piece " << i;
            if (pieces[i]) memcpy(out.data() + at, result.data(), pieces[i]);
        }
        at += pieces[i];
        Bytes reg(ctx.feedbackRegister, ctx.feedbackRegister + 16);
        if (record) {
            registers->push_back(reg);
        } else if (reg != (*registers)[i]) {
            ADD_FAILURE() << "register differs after piece " << i << " (length " << pieces[i] << ")";
            break;
        }
    }
    return out;
}

TEST_P(StreamPaths, MatchesByteLoopsOnRandomPieces) {
    std::mt19937 rng(20240601);
    for (int round = 0; round < 40; round++) {
        CipherContext ctx = KeyedContext(rng);
        Bytes data = RandomBytes(rng, rng() % 20000);
        std::vector<uint32_t> pieces = RandomPieces(rng, data.size());
        bool inPlace = round % 2 == 0;
        SCOPED_TRACE(::testing::Message() << "round " << round << ", " << pieces.size() << " pieces");

        UseStreamPath(STREAM_PATH_BYTES);
        std::vector<Bytes> encRegs, decRegs;
        Bytes cipher = RunPieces(EncryptStream, ctx, data, pieces, false, &encRegs, true);
        Bytes plain = RunPieces(DecryptStream, ctx, cipher, pieces, false, &decRegs, true);
        ASSERT_EQ(plain, data);

        UsePath();
        EXPECT_EQ(RunPieces(EncryptStream, ctx, data, pieces, inPlace, &encRegs, false), cipher);
        EXPECT_EQ(RunPieces(DecryptStream, ctx, cipher, pieces, inPlace, &decRegs, false), data);
    }
}

// Every piece length from 0 to 47 after every register state a previous
// piece of 0 to 17 bytes can leave.
TEST_P(StreamPaths, EveryShortPieceAfterEveryShortPrefix) {
    std::mt19937 rng(7);
    CipherContext ctx = KeyedContext(rng);
    Bytes data = RandomBytes(rng, 64);
    for (uint32_t first = 0; first < 18; first++) {
        for (uint32_t second = 0; second < 48; second++) {
            std::vector<uint32_t> pieces = {first, second};
            Bytes input(data.begin(), data.begin() + first + second);
            UseStreamPath(STREAM_PATH_BYTES);
            std::vector<Bytes> encRegs, decRegs;
            Bytes cipher = RunPieces(EncryptStream, ctx, input, pieces, false, &encRegs, true);
            RunPieces(DecryptStream, ctx, cipher, pieces, false, &decRegs, true);
            UsePath();
            ASSERT_EQ(RunPieces(EncryptStream, ctx, input, pieces, true, &encRegs, false), cipher)
                << first << "+" << second;
            ASSERT_EQ(RunPieces(DecryptStream, ctx, cipher, pieces, true, &decRegs, false), input)
                << first << "+" << second;
        }
    }
}

// NIST SP 800-38A, F.3.17/F.3.18 CFB128-AES256, as one piece and as
// IO_CHUNK-sized pieces of a longer stream (multiples of 16 continue plain
// CFB across pieces).
TEST_P(StreamPaths, Sp800_38aVectorAndIoChunkPieces) {
    Bytes key = FromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    Bytes iv = FromHex("000102030405060708090a0b0c0d0e0f");
    Bytes plain = FromHex(
        "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
        "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710");
    Bytes cipher = FromHex(
        "dc7e84bfda79164b7ecd8486985d3860 39ffed143b28b1c832113c6331e5407b"
        "df10132415e54b92a13ed0a8267ae2f9 75a385741ab9cef82031623d55b1e471");
    CipherContext ctx;
    ctx.roundCount = AesExpandKey(ctx.roundKeys, key.data(), 256);
    memcpy(ctx.feedbackRegister, iv.data(), 16);
    UsePath();

    CipherContext enc = ctx, dec = ctx;
    Bytes out(plain.size());
    EncryptStream(&enc, plain.data(), out.data(), (uint32_t)plain.size());
    EXPECT_EQ(ToHex(out), ToHex(cipher));
    DecryptStream(&dec, cipher.data(), out.data(), (uint32_t)cipher.size());
    EXPECT_EQ(ToHex(out), ToHex(plain));
    EXPECT_EQ(ToHex(dec.feedbackRegister, 16), ToHex(Bytes(cipher.end() - 16, cipher.end())));

    std::mt19937 rng(3);
    Bytes big = RandomBytes(rng, 2 * IO_CHUNK + 5);
    CipherContext one = ctx, chunked = ctx;
    Bytes whole = big, pieces = big;
    DecryptStream(&one, whole.data(), whole.data(), 2 * IO_CHUNK);
    DecryptStream(&chunked, pieces.data(), pieces.data(), IO_CHUNK);
    DecryptStream(&chunked, pieces.data() + IO_CHUNK, pieces.data() + IO_CHUNK, IO_CHUNK);
    EXPECT_TRUE(whole == pieces);
    EXPECT_EQ(memcmp(one.feedbackRegister, chunked.feedbackRegister, 16), 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, StreamPaths, ::testing::ValuesIn(PATHS),
                         [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

TEST(StreamPathChoice, FastestIsInstalledAndUnavailableIsRefused) {
    StreamPath chosen = UseFastestStreamPath();
    EXPECT_EQ(chosen, StreamPathAvailable(STREAM_PATH_AESNI) ? STREAM_PATH_AESNI : STREAM_PATH_WORDS);
    if (!StreamPathAvailable(STREAM_PATH_AESNI)) {
        EXPECT_FALSE(UseStreamPath(STREAM_PATH_AESNI));
    }
    EXPECT_TRUE(UseStreamPath(STREAM_PATH_BYTES));
}

}  // namespace
