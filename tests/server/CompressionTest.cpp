#include "server/Compression.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

namespace {

using plotvane::GzipCompressed;
using plotvane::GzipSvg;

// The data of a gzip member, checked against its CRC-32 and length by zlib;
// "<bad gzip>" when it does not decode whole.
std::string Gunzip(const std::string& In) {
    z_stream Z{};
    if (inflateInit2(&Z, 15 + 16) != Z_OK) return "<bad gzip>";
    Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(In.data()));
    Z.avail_in = static_cast<uInt>(In.size());
    std::string Out;
    int Rc = Z_OK;
    while (Rc == Z_OK) {
        char Chunk[16384];
        Z.next_out = reinterpret_cast<Bytef*>(Chunk);
        Z.avail_out = sizeof Chunk;
        Rc = inflate(&Z, Z_NO_FLUSH);
        Out.append(Chunk, sizeof Chunk - Z.avail_out);
    }
    const bool Whole = Rc == Z_STREAM_END && Z.avail_in == 0;
    inflateEnd(&Z);
    return Whole ? Out : "<bad gzip>";
}

// An SVG-like document: definitions of about DefsBytes bytes drawn from
// Seed, then a body that differs with Body.
std::string Document(unsigned Seed, std::size_t DefsBytes, int Body) {
    std::mt19937 Random(Seed);
    std::string S = "<?xml version=\"1.0\"?>\n<svg width=\"800px\">\n<defs>\n";
    while (S.size() < DefsBytes)
        S += "<symbol id=\"g" + std::to_string(Random() % 100) + "\"><path d=\"M " + std::to_string(Random() % 1000) +
             "." + std::to_string(Random() % 1000000) + " L 3.5 7.25 Z\"/></symbol>\n";
    S += "</defs>\n";
    for (int I = 0; I < 300; ++I)
        S += "<path d=\"M " + std::to_string(I * Body % 997) + " 1 L 2 " + std::to_string(Body) + "\"/>\n";
    return S + "</svg>\n";
}

TEST(Compression, GzipDecodesToTheDataAtAnySize) {
    std::mt19937 Random(7);
    std::string Noise(300000, '\0');
    for (char& C : Noise) C = static_cast<char>(Random());
    for (const std::string& Data : {std::string(), std::string("x"), std::string(100000, 'a'), Noise}) {
        const std::string Packed = GzipCompressed(Data);
        ASSERT_FALSE(Packed.empty());
        EXPECT_TRUE(Gunzip(Packed) == Data) << Data.size();
    }
}

// The definitions are packed anew the first time, then reused with every
// body; other definitions, more than a thread keeps and documents without
// any (or with little) all decode too.
TEST(Compression, SvgWithReusedDefinitionsDecodesToTheDocument) {
    const std::string First = Document(1, 50000, 1);
    EXPECT_EQ(Gunzip(GzipSvg(First)), First);
    for (int Body = 1; Body <= 3; ++Body) {
        const std::string Doc = Document(1, 50000, Body);
        const std::string Packed = GzipSvg(Doc);
        EXPECT_EQ(Gunzip(Packed), Doc) << Body;
        // Packed from the kept definitions, not as a whole.
        EXPECT_NE(Packed, GzipCompressed(Doc)) << Body;
    }
    for (int Round = 0; Round < 3; ++Round)
        for (unsigned Seed = 2; Seed <= 7; ++Seed) {
            const std::string Doc = Document(Seed, 20000 + 1000 * Seed, Round + 5);
            EXPECT_EQ(Gunzip(GzipSvg(Doc)), Doc) << Seed << " " << Round;
        }
    const std::string Small = Document(9, 100, 4);
    EXPECT_EQ(Gunzip(GzipSvg(Small)), Small);
    const std::string NoDefs = "<svg><path d=\"M 0 0\"/></svg>";
    EXPECT_EQ(Gunzip(GzipSvg(NoDefs)), NoDefs);
    const std::string OnlyDefs = Document(1, 50000, 1).substr(0, Document(1, 50000, 1).find("</defs>") + 7);
    EXPECT_EQ(Gunzip(GzipSvg(OnlyDefs)), OnlyDefs);
    EXPECT_EQ(Gunzip(GzipSvg(OnlyDefs)), OnlyDefs);
}

}  // namespace
