// The dialog procedure through the stand-in: initialisation, which commands
// answer which notifications, close and destruction, the two file pickers,
// and the order of what the dump and encode commands do, on synthetic ROMs in
// a temporary folder. Every refusal must leave the files byte-identical.
#include <gtest/gtest.h>

#include "crylib.h"
#include "frontend.h"
#include "resource.h"
#include "romid.h"
#include "support.h"
#include "testdata.h"

namespace {

using namespace std::string_literals;

const std::string InvalidOffset = "box Erreur!: Offset invalide!";
const std::string RomNotWritable = "box Erreur!: Impossible d'ouvrir la Rom!";
const std::string OverwriteWav = "box Question: Le fichier WAV existe d\xe9ja. Voulez-vous le remplacer?";
const std::string LongerSample =
    "box Question: Le nouveau son est plus long que l'ancien et \xe9"
    "crasera les donn\xe9"
    "es qui le suivent. Continuer?";

const int Commands[] = {IDC_DUMP,   IDC_ABOUT,  IDC_ENCODE,  IDC_BROWSE_ROM,
                        IDC_BROWSE_WAV, IDC_VERIFY, IDC_REPOINT, IDC_SIZES};

INT_PTR Send(UINT message, WPARAM wParam = 0) { return DialogProc(standin::Dialog(), message, wParam, 0); }

INT_PTR Command(int id, int code = 0) { return Send(WM_COMMAND, WPARAM(id) | WPARAM(code) << 16); }

class Dialog : public FolderTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(FolderTest::SetUp());
        // Cry 0 is one block long, cry 1 three blocks.
        plan.cries = {Tone(40, 440), Sweep(150, 300, 2000)};
        rom = MakeRom(plan);
        ASSERT_TRUE(WriteFileBytes(romPath, rom));
        standin::Reset();
        for (int box : {IDC_USE_TABLE, IDC_AUTOPLAY, IDC_CONFIRM}) standin::SetCheck(box, true);
        standin::SetText(IDC_ROM_PATH, romPath);
        standin::SetText(IDC_WAV_PATH, wavPath);
        standin::SetText(IDC_TABLE_OFFSET, Hex(plan.tableOffset));
        standin::SetText(IDC_ID, "1");
        standin::SetText(IDC_SAMPLE_OFFSET, "0");
    }

    uint32_t SampleOffset(int index) const { return CrySampleOffset(rom, plan, index); }

    // The WAV a dump of the sample at offset must write.
    Bytes DumpOf(const Bytes& image, uint32_t offset) const {
        const Result<uint16_t> n = ReadSampleLength(image, offset);
        EXPECT_TRUE(n.Ok());
        Bytes data(n.value);
        DecodeSample(image, offset, data);
        return MakeWav(data);
    }

    // The image once `sound` is encoded at offset.
    Bytes EncodedAt(uint32_t offset, const Bytes& sound) const {
        Bytes image = rom;
        Bytes sample(SampleExtent(uint32_t(sound.size())));
        EXPECT_EQ(EncodeSample(sound, sample), sample.size());
        std::copy(sample.begin(), sample.end(), image.begin() + offset);
        return image;
    }

    RomPlan plan;
    Bytes rom;
};

TEST_F(Dialog, InitialisationSetsIconFieldsAndChecks) {
    standin::Reset();
    EXPECT_EQ(Send(WM_INITDIALOG), TRUE);
    EXPECT_EQ(standin::Text(IDC_ROM_PATH), "Chargez votre Rom");
    EXPECT_EQ(standin::Text(IDC_WAV_PATH), "Chargez un son WAV");
    EXPECT_EQ(standin::Text(IDC_TABLE_OFFSET), "0");
    EXPECT_EQ(standin::Text(IDC_SAMPLE_OFFSET), "0");
    EXPECT_EQ(standin::Text(IDC_ID), "1");
    for (int box : {IDC_USE_TABLE, IDC_AUTOPLAY, IDC_CONFIRM}) EXPECT_TRUE(standin::Checked(box)) << box;

    // The large icon is icon group 300, sent to the dialog itself.
    const auto& sent = standin::SentMessages();
    auto icon = std::find_if(sent.begin(), sent.end(), [](auto& m) { return m.message == WM_SETICON; });
    ASSERT_NE(icon, sent.end());
    EXPECT_EQ(icon->window, standin::Dialog());
    EXPECT_EQ(icon->wParam, WPARAM(ICON_BIG));
    EXPECT_EQ(icon->lParam, LPARAM(IDI_APP));
    EXPECT_TRUE(standin::Boxes().empty());
}

TEST_F(Dialog, CloseDestroysAndDestructionQuitsWithZero) {
    EXPECT_EQ(Send(WM_CLOSE), TRUE);
    EXPECT_EQ(standin::DestroyedWindows(), std::vector<HWND>{standin::Dialog()});
    EXPECT_TRUE(standin::QuitCodes().empty());
    EXPECT_EQ(Send(WM_DESTROY), TRUE);
    EXPECT_EQ(standin::QuitCodes(), std::vector<int>{0});
    EXPECT_EQ(Send(0x0200 /* WM_MOUSEMOVE */), FALSE);
}

TEST_F(Dialog, OnlyClicksRunCommands) {
    // Notification codes other than 0 (EN_SETFOCUS, EN_CHANGE, BN_DOUBLECLICKED...)
    // and IDs of no command are answered TRUE, and nothing happens.
    for (int id : Commands)
        for (int code : {1, 5, 0x100, 0x300}) EXPECT_EQ(Command(id, code), TRUE) << id << " " << code;
    for (int id : {IDOK, IDCANCEL, IDC_USE_TABLE, IDC_AUTOPLAY, IDC_CONFIRM, IDC_ROM_PATH, 9999})
        EXPECT_EQ(Command(id), TRUE) << id;
    EXPECT_TRUE(Log().empty());
    EXPECT_TRUE(standin::OpenFileRequests().empty());
    EXPECT_TRUE(standin::ShellRequests().empty());
    EXPECT_EQ(ReadFileBytes(romPath), rom);
    EXPECT_FALSE(fs::exists(wavPath));
}

TEST_F(Dialog, BrowseForTheRomIdentifiesIt) {
    standin::PushOpenFileAnswer(romPath);
    Command(IDC_BROWSE_ROM);
    ASSERT_EQ(standin::OpenFileRequests().size(), 1u);
    const auto& request = standin::OpenFileRequests()[0];
    EXPECT_EQ(request.owner, standin::Dialog());
    EXPECT_EQ(request.filter, "Roms GBA (*.gba)\0*.gba\0Tous les fichiers (*.*)\0*.*\0"s);
    EXPECT_EQ(request.defaultExtension, "gba");
    EXPECT_EQ(request.initialFile, "");
    EXPECT_EQ(request.flags, DWORD(OFN_EXPLORER | OFN_HIDEREADONLY));
    EXPECT_EQ(request.bufferSize, 260u);
    EXPECT_EQ(Log(), (std::vector<std::string>{"text 1002 " + romPath,
                                               "text 1011 Inconnu. Table trouv\xe9"
                                               "e \xe0 95%",
                                               "text 1005 " + Hex(plan.tableOffset)}));
}

TEST_F(Dialog, BrowseCancelledOrToAnUnreadableFile) {
    standin::PushOpenFileCancel();
    Command(IDC_BROWSE_ROM);
    standin::PushOpenFileCancel();
    Command(IDC_BROWSE_WAV);
    EXPECT_TRUE(Log().empty());
    // A ROM that cannot be opened is only named: no message, no identification.
    std::string missing = (dir / "missing.gba").string();
    standin::PushOpenFileAnswer(missing);
    Command(IDC_BROWSE_ROM);
    EXPECT_EQ(Log(), std::vector<std::string>{"text 1002 " + missing});
}

TEST_F(Dialog, BrowseForTheWavOnlyNamesIt) {
    std::string newWav = (dir / "new.wav").string();
    standin::PushOpenFileAnswer(newWav);
    Command(IDC_BROWSE_WAV);
    ASSERT_EQ(standin::OpenFileRequests().size(), 1u);
    const auto& request = standin::OpenFileRequests()[0];
    EXPECT_EQ(request.filter, "Sons WAV encod\xe9s en 8Bit et 11kHz (*.wav)\0*.wav\0Tous les fichiers (*.*)\0*.*\0"s);
    EXPECT_EQ(request.defaultExtension, "wav");
    EXPECT_EQ(Log(), std::vector<std::string>{"text 1003 " + newWav});
}

TEST_F(Dialog, VerifyWarnsAboutAMissingRom) {
    standin::SetText(IDC_ROM_PATH, (dir / "missing.gba").string());
    Command(IDC_VERIFY);
    EXPECT_EQ(Log(), std::vector<std::string>{Invalid});
    EXPECT_EQ(standin::Boxes()[0].flags, UINT(MB_OK | MB_ICONWARNING));
    EXPECT_EQ(standin::Boxes()[0].owner, standin::Dialog());
}

TEST_F(Dialog, DumpResolvesDecodesThenPlays) {
    Command(IDC_DUMP);
    EXPECT_EQ(Log(), std::vector<std::string>{"text 1015 " + Hex(SampleOffset(0))});
    EXPECT_EQ(ReadFileBytes(wavPath), DumpOf(rom, SampleOffset(0)));
    ASSERT_EQ(standin::ShellRequests().size(), 1u);
    const auto& play = standin::ShellRequests()[0];
    EXPECT_EQ(play.owner, nullptr);
    EXPECT_EQ(play.verb, std::nullopt);
    EXPECT_EQ(play.file, wavPath);
    EXPECT_EQ(play.parameters, std::nullopt);
    EXPECT_EQ(play.directory, std::nullopt);
    EXPECT_EQ(play.show, SW_SHOW);
}

TEST_F(Dialog, DumpAsksBeforeReplacingAWav) {
    Bytes old = MakeWav(Bytes(10, 0x80));
    ASSERT_TRUE(WriteFileBytes(wavPath, old));
    standin::PushBoxAnswer(IDNO);
    Command(IDC_DUMP);
    EXPECT_EQ(Log(), std::vector<std::string>{OverwriteWav});  // nothing resolved, written or played
    EXPECT_EQ(standin::Boxes()[0].flags, UINT(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(ReadFileBytes(wavPath), old);
    EXPECT_TRUE(standin::ShellRequests().empty());

    standin::PushBoxAnswer(IDYES);
    standin::SetText(IDC_ID, "2");
    Command(IDC_DUMP);
    EXPECT_EQ(Log().back(), "text 1015 " + Hex(SampleOffset(1)));
    EXPECT_EQ(ReadFileBytes(wavPath), DumpOf(rom, SampleOffset(1)));
    EXPECT_EQ(standin::ShellRequests().size(), 1u);

    // Without confirmations and without autoplay: replaced silently.
    standin::SetCheck(IDC_CONFIRM, false);
    standin::SetCheck(IDC_AUTOPLAY, false);
    standin::SetText(IDC_ID, "1");
    Command(IDC_DUMP);
    EXPECT_EQ(standin::Boxes().size(), 2u);
    EXPECT_EQ(ReadFileBytes(wavPath), DumpOf(rom, SampleOffset(0)));
    EXPECT_EQ(standin::ShellRequests().size(), 1u);
}

TEST_F(Dialog, DumpWithoutTableUsesTheTypedOffset) {
    standin::SetCheck(IDC_USE_TABLE, false);
    standin::SetText(IDC_ROM_PATH, (dir / "missing.gba").string());
    standin::SetText(IDC_SAMPLE_OFFSET, Hex(SampleOffset(1)));
    Command(IDC_DUMP);  // the ROM is missing: Dump itself fails
    EXPECT_EQ(Log(), std::vector<std::string>{Invalid});
    standin::SetText(IDC_ROM_PATH, romPath);
    Command(IDC_DUMP);
    EXPECT_EQ(Log().size(), 1u);  // no field written, no new box
    EXPECT_EQ(ReadFileBytes(wavPath), DumpOf(rom, SampleOffset(1)));
}

TEST_F(Dialog, FailedDumpsStopAndPlayNothing) {
    // The offset cannot be resolved: one message, no dump of offset 0.
    standin::SetText(IDC_ROM_PATH, (dir / "missing.gba").string());
    Command(IDC_DUMP);
    EXPECT_EQ(Log(), std::vector<std::string>{Invalid});
    EXPECT_FALSE(fs::exists(wavPath));
    // The sample lies beyond the end of the ROM: Dump refuses, the WAV is not made.
    standin::SetText(IDC_ROM_PATH, romPath);
    standin::SetCheck(IDC_USE_TABLE, false);
    standin::SetText(IDC_SAMPLE_OFFSET, Hex(uint32_t(rom.size())));
    Command(IDC_DUMP);
    EXPECT_EQ(Log(), (std::vector<std::string>{Invalid, Invalid}));
    EXPECT_FALSE(fs::exists(wavPath));
    EXPECT_TRUE(standin::ShellRequests().empty());
}

class Encode : public Dialog {
protected:
    void SetUp() override {
        Dialog::SetUp();
        standin::SetCheck(IDC_AUTOPLAY, false);
    }
    void UseWav(const Bytes& sound) { ASSERT_TRUE(WriteFileBytes(wavPath, MakeWav(sound))); }
};

TEST_F(Encode, ALongerSampleAsksFirst) {
    Bytes longer = Sweep(200, 400, 3000);  // 4 blocks where cry 0 has 1
    UseWav(longer);
    standin::PushBoxAnswer(IDNO);
    Command(IDC_ENCODE);
    EXPECT_EQ(Log(), (std::vector<std::string>{"text 1015 " + Hex(SampleOffset(0)), LongerSample}));
    EXPECT_EQ(standin::Boxes()[0].flags, UINT(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(ReadFileBytes(romPath), rom);

    standin::PushBoxAnswer(IDYES);
    Command(IDC_ENCODE);
    EXPECT_EQ(Log().size(), 4u);
    EXPECT_EQ(ReadFileBytes(romPath), EncodedAt(SampleOffset(0), longer));
}

TEST_F(Encode, NoQuestionWhenTheSampleFitsOrConfirmationsAreOff) {
    // 150 samples into cry 1's three blocks: the same span, no question.
    Bytes same = Tone(150, 660);
    UseWav(same);
    standin::SetText(IDC_ID, "2");
    Command(IDC_ENCODE);
    EXPECT_EQ(Log(), std::vector<std::string>{"text 1015 " + Hex(SampleOffset(1))});
    EXPECT_EQ(ReadFileBytes(romPath), EncodedAt(SampleOffset(1), same));

    ASSERT_TRUE(WriteFileBytes(romPath, rom));
    Bytes longer = Tone(300, 660);
    UseWav(longer);
    standin::SetCheck(IDC_CONFIRM, false);
    standin::SetText(IDC_ID, "1");
    Command(IDC_ENCODE);
    EXPECT_TRUE(standin::Boxes().empty());
    EXPECT_EQ(ReadFileBytes(romPath), EncodedAt(SampleOffset(0), longer));
}

TEST_F(Encode, RefusalsLeaveTheRomAlone) {
    // A WAV the encoder does not take.
    ASSERT_TRUE(WriteFileBytes(wavPath, MakeWav(Bytes(64, 0), 11050, 2, 16)));
    Command(IDC_ENCODE);
    EXPECT_EQ(Log().back(), Invalid);
    // A missing WAV.
    standin::SetText(IDC_WAV_PATH, (dir / "missing.wav").string());
    Command(IDC_ENCODE);
    EXPECT_EQ(Log().back(), Invalid);
    EXPECT_EQ(standin::Boxes().size(), 2u);
    EXPECT_EQ(ReadFileBytes(romPath), rom);

    // A ROM path that cannot be written: a folder.
    UseWav(Tone(10, 440));
    standin::SetText(IDC_WAV_PATH, wavPath);
    standin::SetCheck(IDC_USE_TABLE, false);
    standin::SetText(IDC_ROM_PATH, dir.string());
    Command(IDC_ENCODE);
    EXPECT_EQ(Log().back(), RomNotWritable);

    // With "Table" a missing ROM stops the command: no new file at offset 0.
    std::string missing = (dir / "missing.gba").string();
    standin::SetCheck(IDC_USE_TABLE, true);
    standin::SetText(IDC_ROM_PATH, missing);
    size_t before = Log().size();
    Command(IDC_ENCODE);
    EXPECT_EQ(Log().size(), before + 1);
    EXPECT_EQ(Log().back(), Invalid);
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(Encode, IntoTheHeaderOfAnImageIsRefused) {
    UseWav(Tone(100, 440));
    standin::SetCheck(IDC_USE_TABLE, false);
    standin::SetCheck(IDC_CONFIRM, false);
    // The header; an offset the game cannot read a sample at; the cry table.
    const uint32_t refused[] = {0u, 0xACu, RomHeaderSize - 1, RomHeaderSize + 2, plan.tableOffset + 8};
    for (uint32_t offset : refused) {
        standin::SetText(IDC_SAMPLE_OFFSET, Hex(offset));
        Command(IDC_ENCODE);
        ASSERT_FALSE(Log().empty());
        EXPECT_EQ(Log().back(), InvalidOffset) << offset;
    }
    EXPECT_EQ(ReadFileBytes(romPath), rom);
    // With "Table", an entry pointing into the header.
    Bytes broken = rom;
    PutLe32(&broken[plan.tableOffset + CryEntryPointerOfs], RomAddressBase | 0x40);
    ASSERT_TRUE(WriteFileBytes(romPath, broken));
    standin::SetCheck(IDC_USE_TABLE, true);
    Command(IDC_ENCODE);
    EXPECT_EQ(Log().back(), InvalidOffset);
    const size_t boxes = std::size(refused) + 1;
    EXPECT_EQ(standin::Boxes().size(), boxes);
    EXPECT_EQ(ReadFileBytes(romPath), broken);

    // The first byte after the header takes a sample.
    ASSERT_TRUE(WriteFileBytes(romPath, rom));
    standin::SetCheck(IDC_USE_TABLE, false);
    standin::SetText(IDC_SAMPLE_OFFSET, Hex(RomHeaderSize));
    Command(IDC_ENCODE);
    EXPECT_EQ(standin::Boxes().size(), boxes);
    EXPECT_EQ(ReadFileBytes(romPath), EncodedAt(RomHeaderSize, Tone(100, 440)));

    // A missing ROM is created, the sample at the offset asked.
    const std::string created = (dir / "new.gba").string();
    standin::SetText(IDC_ROM_PATH, created);
    standin::SetText(IDC_SAMPLE_OFFSET, "8");
    Command(IDC_ENCODE);
    Bytes expected(8 + SampleExtent(100), 0);
    EXPECT_EQ(EncodeSample(Tone(100, 440), std::span(expected).subspan(8)), SampleExtent(100));
    EXPECT_EQ(ReadFileBytes(created), expected);
    // Past the end of an existing ROM, at any offset, the ROM grows with
    // zeros up to the sample.
    const uint32_t past = uint32_t(rom.size()) + 6;
    ASSERT_TRUE(WriteFileBytes(romPath, rom));
    standin::SetText(IDC_ROM_PATH, romPath);
    standin::SetText(IDC_SAMPLE_OFFSET, Hex(past));
    Command(IDC_ENCODE);
    Bytes grown = rom;
    grown.resize(past + SampleExtent(100), 0);
    EXPECT_EQ(EncodeSample(Tone(100, 440), std::span(grown).subspan(past)), SampleExtent(100));
    EXPECT_EQ(ReadFileBytes(romPath), grown);
    EXPECT_EQ(standin::Boxes().size(), boxes);
}

// A sample that reaches past the end of the image, from inside it or from
// past it, grows the ROM with it; never past the 64 MiB of a GBA image, and a
// refused encode into a missing ROM leaves no file behind.
TEST_F(Encode, PastTheEndTheRomGrowsUpToAGbaImage) {
    const Bytes sound = Tone(100, 440);
    UseWav(sound);
    standin::SetCheck(IDC_USE_TABLE, false);
    Bytes sample(SampleExtent(100));
    ASSERT_EQ(EncodeSample(sound, sample), sample.size());
    const uint32_t inside = uint32_t(rom.size()) - 8;  // the sample's first 8 bytes over the image's last
    standin::SetText(IDC_SAMPLE_OFFSET, Hex(inside));
    Command(IDC_ENCODE);
    Bytes grown(rom.begin(), rom.begin() + inside);
    grown.insert(grown.end(), sample.begin(), sample.end());
    EXPECT_EQ(ReadFileBytes(romPath), grown);
    EXPECT_TRUE(standin::Boxes().empty());

    const std::string missing = (dir / "missing.gba").string();
    for (const std::string& path : {romPath, missing}) {
        ASSERT_TRUE(WriteFileBytes(romPath, rom));
        standin::SetText(IDC_ROM_PATH, path);
        standin::SetText(IDC_SAMPLE_OFFSET, Hex(uint32_t(MaxImageSize - SampleExtent(100) + 4)));
        Command(IDC_ENCODE);
        EXPECT_EQ(Log().back(), InvalidOffset) << path;
    }
    EXPECT_EQ(ReadFileBytes(romPath), rom);
    EXPECT_FALSE(fs::exists(missing));
    // The last sample that still fits ends at 64 MiB.
    standin::SetText(IDC_SAMPLE_OFFSET, Hex(uint32_t(MaxImageSize - SampleExtent(100))));
    Command(IDC_ENCODE);
    EXPECT_EQ(fs::file_size(missing), MaxImageSize);
    EXPECT_EQ(standin::Boxes().size(), 2u);
}

TEST_F(Dialog, DumpOverTheRomItselfIsRefused) {
    const fs::path linked = dir / "linked.gba", hard = dir / "hard.gba";
    fs::create_symlink(romPath, linked);
    fs::create_hard_link(romPath, hard);
    const std::string spellings[] = {romPath, (dir / "." / "rom.gba").string(),
                                     (dir / ".." / dir.filename() / "rom.gba").string(), linked.string(),
                                     hard.string()};
    for (bool confirm : {true, false}) {
        standin::SetCheck(IDC_CONFIRM, confirm);
        for (const std::string& wav : spellings) {
            standin::SetText(IDC_WAV_PATH, wav);
            const size_t before = Log().size();
            Command(IDC_DUMP);
            ASSERT_EQ(Log().size(), before + 1) << wav;  // one box, no question first
            EXPECT_EQ(Log().back(), Invalid) << wav;
        }
    }
    EXPECT_EQ(ReadFileBytes(romPath), rom);
    EXPECT_TRUE(standin::ShellRequests().empty());
    // A copy is another file: dumped over after the question.
    const std::string copy = (dir / "copy.gba").string();
    ASSERT_TRUE(WriteFileBytes(copy, rom));
    standin::SetCheck(IDC_CONFIRM, true);
    standin::SetText(IDC_WAV_PATH, copy);
    Command(IDC_DUMP);
    EXPECT_EQ(standin::Boxes().back().text, OverwriteWav.substr(std::string("box Question: ").size()));
    EXPECT_EQ(ReadFileBytes(copy), DumpOf(rom, SampleOffset(0)));
    EXPECT_EQ(ReadFileBytes(romPath), rom);
}

// The games' own layout: 388 packed cries, each ending at the byte that holds
// its last value, with a length field one below the values their data holds.
class GameImage : public Encode {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Encode::SetUp());
        plan = GameRomPlan();
        rom = MakeRom(plan);
        ASSERT_TRUE(WriteFileBytes(romPath, rom));
    }

    uint32_t StoredLength(int index) const {
        const Result<uint16_t> n = ReadSampleLength(rom, SampleOffset(index));
        EXPECT_TRUE(n.Ok());
        return n.value;
    }

    // The first cry whose last block, written whole, would reach the next
    // cry's header. IDs below 252 address the same entry in both ID rules.
    int FirstPackedCry() const {
        for (int i = 0; i < 250; ++i)
            if (SampleOffset(i) + SampleHeaderSize + BlockSize * BlockCount(StoredLength(i)) > SampleOffset(i + 1))
                return i;
        ADD_FAILURE() << "no cry is packed against the next";
        return 0;
    }

    // Encodes `sound` over cry `index` through the dialog, from a fresh copy of rom.
    Bytes EncodeOver(int index, const Bytes& sound) {
        EXPECT_TRUE(WriteFileBytes(romPath, rom));
        UseWav(sound);
        standin::SetText(IDC_ID, std::to_string(index + 1));
        Command(IDC_ENCODE);
        return ReadFileBytes(romPath);
    }
};

TEST_F(GameImage, EncodingInPlaceKeepsEveryOtherCry) {
    const int packed = FirstPackedCry();
    for (int index : {packed, 0, 3, 10, 249}) {
        const uint32_t n = StoredLength(index);
        for (const Bytes& sound : {Sweep(n, 300, 2500), Tone(n / 2, 700)}) {
            SCOPED_TRACE(testing::Message() << "cry " << index << ", " << sound.size() << " of " << n << " values");
            const Bytes after = EncodeOver(index, sound);
            EXPECT_TRUE(standin::Boxes().empty());
            // Only [offset, offset + SampleExtent) changes: the next header survives.
            EXPECT_EQ(after, EncodedAt(SampleOffset(index), sound));
            for (int other = 0; other < int(plan.cries.size()); ++other) {
                if (other == index) continue;
                ASSERT_EQ(DecodedCry(after, SampleOffset(other)), DecodedCry(rom, SampleOffset(other))) << other;
            }
        }
    }
}

TEST_F(GameImage, TheLongerSampleQuestionAsksExactlyPastTheOldExtent) {
    for (int index : {FirstPackedCry(), 0, 1, 2, 3, 4, 5, 6, 7, 10}) {
        const uint32_t stored = StoredLength(index);
        uint32_t fits = stored;
        while (SampleExtent(fits + 1) <= SampleExtent(stored)) ++fits;
        SCOPED_TRACE(testing::Message() << "cry " << index << ", stored " << stored << ", fits " << fits);
        const size_t boxes = standin::Boxes().size();
        EXPECT_EQ(EncodeOver(index, Tone(fits, 500)), EncodedAt(SampleOffset(index), Tone(fits, 500)));
        EXPECT_EQ(standin::Boxes().size(), boxes);
        standin::PushBoxAnswer(IDNO);
        EXPECT_EQ(EncodeOver(index, Tone(fits + 1, 500)), rom);
        EXPECT_EQ(standin::Boxes().size(), boxes + 1);
        EXPECT_EQ(Log().back(), LongerSample);
    }
}

TEST_F(GameImage, RepointKeepsTheReverseTableInStep) {
    const uint32_t cryWord = plan.tableOffset + CryEntrySize + CryEntryPointerOfs;  // ID 2's entry
    const uint32_t reverseWord = ReverseTableOffset(plan) + CryEntrySize + CryEntryPointerOfs;
    const struct {
        const char* name;
        bool inStep;      // the reverse entry points at the cry's sample before
        uint32_t target;
        bool bothWords;
    } cases[] = {
        {"in step", true, SampleOffset(5), true},
        {"out of step", false, SampleOffset(5), false},
        {"a target no sample can start at: the word alone, as always", true, SampleOffset(5) + 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes before = rom;
        if (!c.inStep) PutLe32(&before[reverseWord], RomAddressBase | SampleOffset(9));
        ASSERT_TRUE(WriteFileBytes(romPath, before));
        standin::SetText(IDC_ID, "2");
        standin::SetText(IDC_SAMPLE_OFFSET, Hex(c.target));
        Command(IDC_REPOINT);
        Bytes expected = before;
        PutLe32(&expected[cryWord], RomAddressBase | c.target);
        if (c.bothWords) PutLe32(&expected[reverseWord], RomAddressBase | c.target);
        EXPECT_EQ(ReadFileBytes(romPath), expected);
    }
    EXPECT_TRUE(standin::Boxes().empty());
}

// A hack's image: the games' layout with one cry made uncompressed, as hacks
// store some. Its sample (S values and the loop value 0) lies in the FF
// tail, and its cry and reverse entries point there with the voice bytes 00
// and 10.
class HackImage : public GameImage {
protected:
    static constexpr int Hacked = 7;  // entry 7: ID 8 in both rules

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(GameImage::SetUp());
        values = Sweep(300, 400, 2600);
        at = FreeTailOffset(rom);
        rom[at + PutUncompressedSample(rom, at, values)] = 0;
        for (auto [entry, voice] : {std::pair{CryEntryAt(Hacked), 0x00}, {ReverseEntryAt(Hacked), 0x10}}) {
            rom[entry] = uint8_t(voice);
            PutLe32(&rom[entry + CryEntryPointerOfs], RomAddressBase | at);
        }
        ASSERT_TRUE(WriteFileBytes(romPath, rom));
        standin::SetText(IDC_ID, std::to_string(Hacked + 1));
    }

    uint32_t CryEntryAt(int index) const { return plan.tableOffset + CryEntrySize * index; }
    uint32_t ReverseEntryAt(int index) const { return ReverseTableOffset(plan) + CryEntrySize * index; }

    Bytes values;  // the uncompressed cry's, unsigned
    uint32_t at = 0;
};

TEST_F(HackImage, DumpGivesTheUncompressedValues) {
    Command(IDC_DUMP);
    EXPECT_EQ(Log(), std::vector<std::string>{"text 1015 " + Hex(at)});
    EXPECT_EQ(ReadFileBytes(wavPath), MakeWav(values));
}

// The encoder writes compressed samples: the entries that point at the
// uncompressed one, and only their voice bytes, say so afterwards. The
// question weighs the new sample against the uncompressed one's 317 bytes.
TEST_F(HackImage, EncodeOverTheUncompressedCryRewritesTheVoiceBytes) {
    const struct {
        bool table;
        uint32_t n;  // values of the new sound
        bool asks;
    } cases[] = {
        {true, 300, false}, {false, 300, false},
        {true, 550, false},  // 300 bytes: more than a compressed 300 values' 171, fewer than 317
        {true, 600, true},   // 326 bytes: answered No
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.n << " values, Table " << c.table);
        const Bytes sound = Tone(c.n, 500);
        standin::SetCheck(IDC_USE_TABLE, c.table);
        standin::SetText(IDC_SAMPLE_OFFSET, Hex(at));
        const size_t boxes = standin::Boxes().size();
        if (c.asks) standin::PushBoxAnswer(IDNO);
        const Bytes after = EncodeOver(Hacked, sound);
        if (c.asks) {
            EXPECT_EQ(Log().back(), LongerSample);
            EXPECT_EQ(after, rom);
            continue;
        }
        EXPECT_EQ(standin::Boxes().size(), boxes);
        Bytes expected = EncodedAt(at, sound);
        expected[CryEntryAt(Hacked)] = 0x20;
        expected[ReverseEntryAt(Hacked)] = 0x30;
        EXPECT_EQ(after, expected);
    }
}

TEST_F(HackImage, RepointFollowsTheKindPointedAt) {
    const struct {
        const char* name;
        int index;
        uint32_t target;
        uint8_t cryVoice, reverseVoice;
    } cases[] = {
        {"a compressed entry to the uncompressed sample", 2, at, 0x00, 0x10},
        {"the uncompressed entry to a compressed sample", Hacked, SampleOffset(5), 0x20, 0x30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteFileBytes(romPath, rom));
        standin::SetText(IDC_ID, std::to_string(c.index + 1));
        standin::SetText(IDC_SAMPLE_OFFSET, Hex(c.target));
        Command(IDC_REPOINT);
        Bytes expected = rom;
        for (auto [entry, voice] : {std::pair{CryEntryAt(c.index), c.cryVoice}, {ReverseEntryAt(c.index), c.reverseVoice}}) {
            expected[entry] = voice;
            PutLe32(&expected[entry + CryEntryPointerOfs], RomAddressBase | c.target);
        }
        EXPECT_EQ(ReadFileBytes(romPath), expected);
    }
    EXPECT_TRUE(standin::Boxes().empty());
}

TEST_F(Dialog, AboutShowsNameAndAuthors) {
    Command(IDC_ABOUT);
    ASSERT_EQ(standin::Boxes().size(), 1u);
    const auto& box = standin::Boxes()[0];
    EXPECT_EQ(box.title, "A propos");
    EXPECT_EQ(box.text.rfind("Brevox GUIVersion2\r\n", 0), 0u);
    EXPECT_EQ(box.text.find('\n', 20), std::string::npos);  // one line of authorship
    EXPECT_EQ(box.flags, UINT(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(box.owner, standin::Dialog());
}

}  // namespace
