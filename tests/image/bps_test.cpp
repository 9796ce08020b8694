// The BPS writer byte for byte: its numbers, its CRC-32 and the actions it
// chooses. Whole patches of real edits are applied by an independent patcher
// in tests/cli/patch_test.cpp.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "bps.h"
#include "crylib.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(Bps, NumbersTakeOneEncodingEach) {
    const struct {
        uint64_t value;
        Bytes bytes;
    } numbers[] = {
        {0, {0x80}},
        {127, {0xFF}},
        {128, {0x00, 0x80}},  // the first byte's 0 counts as one
        {16511, {0x7F, 0xFF}},
        {16512, {0x00, 0x00, 0x80}},
        {2113663, {0x7F, 0x7F, 0xFF}},
        {(uint64_t{32} << 20) - 1, {0x7F, 0x7E, 0x7E, 0x8E}},  // the last byte of a 32 MiB image
    };
    for (const auto& n : numbers) {
        Bytes out;
        PutBpsNumber(out, n.value);
        EXPECT_EQ(out, n.bytes) << n.value;
    }
    const struct {
        int64_t value;
        Bytes bytes;
    } signedNumbers[] = {{0, {0x80}}, {2, {0x84}}, {-1, {0x83}}, {-64, {0x01, 0x80}}, {64, {0x00, 0x80}}};
    for (const auto& n : signedNumbers) {
        Bytes out;
        PutBpsSigned(out, n.value);
        EXPECT_EQ(out, n.bytes) << n.value;
    }
}

TEST(Bps, Crc32IsZlibs) {
    EXPECT_EQ(Crc32(Text("123456789")), 0xCBF43926u);
    EXPECT_EQ(Crc32(Text("The quick brown fox jumps over the lazy dog")), 0x414FA339u);
    EXPECT_EQ(Crc32({}), 0u);
    EXPECT_EQ(Crc32(Text("56789"), Crc32(Text("1234"))), 0xCBF43926u);
}

// Each patch is "BPS1", the sizes, no metadata, these actions, then the
// CRC-32s of the source, the target and the patch before them.
TEST(Bps, PatchesHoldTheActionsOfTheirEdit) {
    Bytes fills(20, 0xFF);
    fills.push_back('x');
    fills.insert(fills.end(), 20, 0x00);
    const struct {
        const char* what;
        Bytes source, target, sizes, actions;
    } cases[] = {
        {"one change", Text("ABCDEFGHIJ"), Text("ABCDxyGHIJ"), {0x8A, 0x8A, 0x80}, {0x8C, 0x85, 'x', 'y', 0x8C}},
        {"kept bytes too few for a SourceRead", Text("ABCDEFGHIJ"), Text("ABCDxyGxIJ"), {0x8A, 0x8A, 0x80},
         {0x8C, 0x95, 'x', 'y', 'G', 'x', 'I', 'J'}},
        {"longer", Text("ABCD"), Text("ABCDEF"), {0x84, 0x86, 0x80}, {0x8C, 0x85, 'E', 'F'}},
        // Each fill's first byte is read, then copied 19 times over itself;
        // the second copy moves the cursor the first left at 19 on to 21.
        {"two fills", {}, fills, {0x80, 0xA9, 0x80}, {0x81, 0xFF, 0xCB, 0x80, 0x85, 'x', 0x00, 0xCB, 0x84}},
    };
    for (const auto& c : cases) {
        Bytes expected = Text("BPS1");
        expected.insert(expected.end(), c.sizes.begin(), c.sizes.end());
        expected.insert(expected.end(), c.actions.begin(), c.actions.end());
        for (const Bytes* crcOf : std::initializer_list<const Bytes*>{&c.source, &c.target, &expected}) {
            const uint32_t crc = Crc32(*crcOf);  // the patch's own covers the two before it
            expected.resize(expected.size() + 4);
            PutLe32(&expected[expected.size() - 4], crc);
        }
        EXPECT_EQ(MakeBps(c.source, c.target), expected) << c.what;
    }
}

}  // namespace
