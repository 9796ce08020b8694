// The shapes report/ gives the command line's --json and the page alike.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "image.h"
#include "plan.h"
#include "report.h"
#include "testdata.h"

namespace {

class ReportShapes : public ::testing::Test {
protected:
    RomPlan plan = ToneRomPlan(20);
    Bytes rom = MakeRom(plan);
};

// One vector per shape the front ends share, byte for byte: a change to any
// of them is a change every script and the page see.
TEST_F(ReportShapes, AreByteExact) {
    std::fill(rom.begin() + 0xF00, rom.begin() + 0x1000, 0xFF);  // free space running into the table
    const ImageModel model = OpenImage(rom);
    const Bytes plain = MakeSample(SampleKind::Uncompressed, Bytes(100, 0x80), 11025 * 1024, EncodeMode::Best);
    const uint32_t second = CrySampleOffset(rom, plan, 1);
    EditRequest fails;
    fails.cries.push_back({.index = 0, .sample = plain, .place = CryChange::Place::At, .at = 0xFC0, .force = true});
    fails.cries.push_back({.index = 25, .sample = plain});
    EditRequest converts;
    converts.cries.push_back({.index = 1, .sample = plain, .place = CryChange::Place::At, .at = second, .force = true});
    AudioWarning mix{.code = AudioWarningCode::MixLostEnergy, .channels = 2, .keptPercent = 12.5};
    AudioWarning poor{.code = AudioWarningCode::PoorEncoding, .mode = EncodeMode::Fast, .snrDb = 8.25, .peakError = 70};
    const std::pair<Json, std::string> rows[] = {
        {SampleJson(InspectSample(rom, second)),
         R"({"bytes":191,"kind":"compressed","length":337,"offset":4508,"rate":10512,"seconds":0.032058599695586,"sound":true})"},
        {SampleJson(InspectSample(rom, 0x100)),
         R"({"bytes":null,"kind":"unknown","length":null,"offset":256,"rate":null,"seconds":null,"sound":false})"},
        {EntryJson(rom, model, IdRule::SpeciesNumber, {std::nullopt, 19}),
         R"({"at":4324,"file":"index-0019","id":null,"index":19,"pointer":)" +
             std::to_string(RomAddressBase | CrySampleOffset(rom, plan, 19)) +
             R"(,"reverse_in_step":null,"sample":)" + SampleJson(InspectSample(rom, CrySampleOffset(rom, plan, 19))).Dump() +
             R"(,"shared_with":[]})"},
        {PlanJson(PlanEdits(rom, model, fails), IdRule::CryNumber),
         R"({"bytes_freed":0,"bytes_shared":0,"bytes_used":0,"cries":[],"free_left":0,"ok":false,"pointers":[],"problems":[)"
         R"({"bytes":117,"ids":[1],"index":0,"kind":"Protected","offset":4032,"part":"CryTable","room":0},)"
         R"({"bytes":0,"ids":[26],"index":25,"kind":"IndexPastTable","offset":4096,"part":null,"room":20}],)"
         R"("reclaimed":[],"voices":[],"warnings":[],"writes":[]})"},
        {PlanJson(PlanEdits(rom, model, converts), IdRule::CryNumber, {{1, Json::Object({{"snr_db", 40.5}})}}),
         R"({"bytes_freed":0,"bytes_shared":0,"bytes_used":0,"cries":[{"ids":[2],"index":1,"moved":false,"new_bytes":117,)"
         R"("new_kind":"uncompressed","new_offset":4508,"old_bytes":191,"old_kind":"compressed","old_offset":4508,)"
         R"("overwritten":[],"overwritten_ids":[],"replaced":true,"reverse_moved":false,"same_as":null,"sharing":[],)"
         R"("sharing_changed":false,"sharing_ids":[],)"
         R"("snr_db":40.5}],)"
         R"("free_left":119656,"ok":true,"pointers":[],"problems":[],"reclaimed":[],)"
         R"("voices":[{"at":4108,"from":32,"index":1,"table":"cry","to":0}],"warnings":[],)"
         R"("writes":[{"end":4625,"start":4508}]})"},
        {WarningsJson({mix}),
         R"([{"channels":2,"clipped":null,"code":"MixLostEnergy","fast":null,"heard_db":null,"kept_percent":12.5,)"
         R"("message":null,)"
         R"("offset_percent":null,"peak_error":null,"sample_rate":null,"snr_db":null,"target_db":null,"wav_rate":null}])"},
        {WarningJson(poor, [](const AudioWarning&) { return std::string("poor"); }),
         R"({"channels":null,"clipped":null,"code":"PoorEncoding","fast":true,"heard_db":null,"kept_percent":null,)"
         R"("message":"poor",)"
         R"("offset_percent":null,"peak_error":70,"sample_rate":null,"snr_db":8.25,"target_db":null,"wav_rate":null})"},
        {PlanWarningJson({.kind = PlanWarningKind::ImageCut, .index = 4, .size = 7000000, .gameSize = GameImageSize,
                          .pointedPast = 0x6B0000},
                         IdRule::CryNumber, [](const PlanWarning&) { return std::string("cut"); }),
         R"({"code":"ImageCut","game_size":16777216,"ids":[5],"in_use":null,"index":4,"message":"cut",)"
         R"("pointed_past":7012352,"pointer":null,"size":7000000,"table":null})"},
        {PlanWarningJson({.kind = PlanWarningKind::TableNotInUse, .table = 0x1000, .inUse = 0x3F000}, IdRule::CryNumber),
         R"({"code":"TableNotInUse","game_size":null,"ids":[],"in_use":258048,"index":-1,"message":null,)"
         R"("pointed_past":null,"pointer":null,"size":null,"table":4096})"},
    };
    for (const auto& [value, text] : rows) EXPECT_EQ(value.Dump(), text);
}

// The identity of an image, as the command line and the page both give it:
// the game code's four bytes as they are, escaped by the writer alone.
TEST_F(ReportShapes, IdentityKeepsTheCodesBytes) {
    const char code[4] = {'A', '\0', '"', '\\'};
    std::copy(code, code + 4, rom.begin() + GameCodeOfs);
    rom[RevisionOfs] = 3;
    const std::pair<Bytes, std::string> rows[] = {
        {rom, R"({"code":"A\u0000\"\\","label":"Inconnu. Table trouvée à 95%","release_table":null,"revision":3})"},
        {Bytes(GameCodeOfs + 3, 0x41), R"({"code":"","label":"Version inconnue","release_table":null,"revision":null})"},
    };
    for (const auto& [image, text] : rows) EXPECT_EQ(IdentityJson(OpenImage(image)).Dump(), text);
    EXPECT_EQ(nlohmann::json::parse(TableJson(OpenImage(rom), {}).Dump())["found_by"], "Scan");
}

}  // namespace
