// The ID rule a dialog program is built with (BREVOX_TEST_SPECIES says which
// one the program under test carries): RecalcID, and the entries that
// ReturnOfs reads and the repoint command writes for IDs across both rules'
// ranges. The rules themselves are tested with the core.
#include "addressing.h"

namespace {

int ExpectedIndex(int id) { return BREVOX_TEST_SPECIES ? SpeciesNumberIndex(id) : CryNumberIndex(id); }

TEST(IdRule, RecalcIdIsTheRuleOfTheBuild) {
    for (int id = -5; id <= 999; ++id) EXPECT_EQ(RecalcID(id), ExpectedIndex(id)) << id;
    // IDs where the two rules part.
    EXPECT_EQ(RecalcID(252), BREVOX_TEST_SPECIES ? 200 : 251);
    EXPECT_EQ(RecalcID(277), BREVOX_TEST_SPECIES ? 273 : 276);
    EXPECT_EQ(RecalcID(411), BREVOX_TEST_SPECIES ? 387 : 410);
}

TEST_F(Addressing, ReturnOfsReadsTheEntryOfTheId) {
    for (int id = 1; id <= 999; ++id) {
        standin::SetText(IDC_ID, std::to_string(id));
        const uint32_t expected = AddressOfEntry(ExpectedIndex(id)) & RomAddressMask;
        ASSERT_EQ(Resolve(), expected) << id;
        EXPECT_EQ(standin::Text(IDC_SAMPLE_OFFSET), Hex(expected));
    }
    EXPECT_TRUE(standin::Boxes().empty());
    ExpectRom();
}


TEST_F(Addressing, RepointAddressesTheEntryOfTheRule) {
    for (int id : {1, 251, 252, 276, 277, 300, 411, 412, 999}) {
        rom = MakeTestRom();
        ASSERT_TRUE(WriteFileBytes(romPath, rom));
        standin::SetText(IDC_ID, std::to_string(id));
        standin::SetText(IDC_SAMPLE_OFFSET, "123");
        Repoint();
        ExpectRom({{TableAt + CryEntrySize * ExpectedIndex(id) + 4, 0x08000123}});
    }
}


}  // namespace
