// ROM identification and the two ID rules.
#include "romid.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "crylib.h"

// Searched in this order; the first row whose code matches wins. Rows 1 and 8
// are the second revisions of the two US releases of rows 0 and 7: FindVersion
// reaches them through the revision byte, and the placeholder code "XXXX"
// keeps the search itself from reaching row 8. Labels are Windows-1252.
const VersionRow Versions[VersionCount] = {
    {"AXVE", 0x452590, "Rubis US v1.0"},
    {"XXXX", 0x4525A4, "Rubis US v1.1"},
    {"AXVF", 0x45B668, "Rubis FR"},
    {"AXVD", 0x46052C, "Rubis D"},
    {"AXVI", 0x454914, "Rubis IT"},
    {"AXVS", 0x457A28, "Rubis ES"},
    {"AXVJ", 0x414840, "Rubis JAP"},
    {"AXPE", 0x4525EC, "Saphir US v1.0"},
    {"XXXX", 0x452604, "Saphir US v1.1"},
    {"AXPF", 0x45B668, "Saphir FR"},
    {"AXPD", 0x460498, "Saphir D"},
    {"AXPI", 0x4545B8, "Saphir IT"},
    {"AXPS", 0x457764, "Saphir ES"},
    {"AXPJ", 0x414828, "Saphir JAP"},
    {"BPEE", 0x69DCF4, "Emeraude US"},
    {"BPEF", 0x6A1C10, "Emeraude FR"},
    {"BPED", 0x6AEEE0, "Emeraude D"},
    {"BPEI", 0x69A308, "Emeraude IT"},
    {"BPES", 0x6A02A8, "Emeraude ES"},
    {"BPEJ", 0x625814, "Emeraude JAP"},
    {"BPRE", 0x48C914, "Rouge Feu US"},
    {"BPRF", 0x4829DC, "Rouge Feu FR"},
    {"BPRD", 0x48AF38, "Rouge Feu D"},
    {"BPRI", 0x480368, "Rouge Feu IT"},
    {"BPRS", 0x483210, "Rouge Feu ES"},
    {"BPRJ", 0x451554, "Rouge Feu JAP"},
    {"BPGE", 0x48C1F0, "Vert Feuille US"},
    {"BPGF", 0x481704, "Vert Feuille FR"},
    {"BPGD", 0x48A0A4, "Vert Feuille D"},
    {"BPGI", 0x47FB00, "Vert Feuille IT"},
    {"BPGS", 0x482908, "Vert Feuille ES"},
    {"BPGJ", 0x451398, "Vert Feuille JAP"},
};

const char UnknownTableFoundLabel[] = "Inconnu. Table trouv\xE9" "e \xE0 95%";
const char UnknownVersionLabel[] = "Version inconnue";

namespace {

constexpr int GameCodeSize = 4;
constexpr int SecondRevision = 2;

// The rows that a second revision moves to the next row.
constexpr int RubisUsRow = 0;
constexpr int SaphirUsRow = 7;

}  // namespace

Result<int> FindVersion(const char code[4], int revision) {
    for (int row = 0; row < VersionCount; ++row) {
        if (std::memcmp(Versions[row].code, code, GameCodeSize) != 0) continue;
        if ((row == RubisUsRow || row == SaphirUsRow) && revision == SecondRevision) return {row + 1};
        return {row};
    }
    return Failure<int>({CoreProblem::NotFound, 0, 0, VersionCount});
}

RomIdentity WithScannedTable(RomIdentity id, uint32_t tableOffset) {
    id.kind = RomScanned;
    id.tableOffset = tableOffset;
    id.label = UnknownTableFoundLabel;
    return id;
}

Result<RomIdentity> IdentifyHeader(std::span<const uint8_t> image) {
    RomIdentity id = {RomUnknown, -1, "", -1, 0, UnknownVersionLabel};
    if (image.size() < GameCodeOfs + GameCodeSize)
        return {id, CoreError{CoreProblem::PastEnd, GameCodeOfs, GameCodeSize, image.size()}};
    const char* code = reinterpret_cast<const char*>(image.data() + GameCodeOfs);
    std::memcpy(id.code, code, GameCodeSize);
    id.code[GameCodeSize] = '\0';
    id.revision = image.size() > RevisionOfs ? image[RevisionOfs] : -1;
    const Result<int> row = FindVersion(code, id.revision);
    if (row.Ok()) {
        id.kind = RomKnown;
        id.row = row.value;
        id.tableOffset = Versions[row.value].tableOffset;
        id.label = Versions[row.value].label;
    }
    return {id};
}

bool HasGbaHeader(std::span<const uint8_t> image) {
    return image.size() >= RomHeaderSize && image[HeaderFixedOfs] == HeaderFixedValue;
}

RomIdentity IdentifyImage(std::span<const uint8_t> image) {
    const Result<RomIdentity> header = IdentifyHeader(image);
    if (!header.Ok() || header.value.kind == RomKnown) return header.value;
    const Result<uint32_t> found = FindTableIn(image, ScanStartOfs);
    return found.Ok() ? WithScannedTable(header.value, found.value) : header.value;
}

// Cry-table indexes of the species numbers 277 to 411, fifteen to a line.
const int16_t IdTable[IdTableCount] = {
    273, 274, 275, 270, 271, 272, 276, 277, 278, 359, 360, 378, 375, 290, 291,  // 277-291
    292, 293, 294, 283, 284, 285, 286, 287, 288, 301, 302, 303, 266, 267, 374,  // 292-306
    373, 269, 280, 279, 310, 311, 377, 381, 312, 313, 251, 329, 330, 306, 253,  // 307-321
    362, 318, 319, 368, 320, 321, 333, 334, 289, 260, 324, 325, 326, 304, 305,  // 322-336
    254, 255, 316, 317, 338, 339, 340, 327, 328, 383, 307, 331, 332, 262, 322,  // 337-351
    323, 308, 309, 363, 336, 337, 263, 264, 258, 256, 361, 252, 298, 299, 300,  // 352-366
    314, 315, 376, 382, 380, 379, 341, 342, 343, 335, 282, 281, 259, 261, 367,  // 367-381
    364, 365, 366, 356, 357, 358, 344, 345, 346, 347, 295, 296, 297, 351, 352,  // 382-396
    372, 348, 349, 350, 353, 354, 355, 370, 369, 371, 257, 384, 385, 386, 387,  // 397-411
};

namespace {

constexpr int LastPlainSpecies = 251;  // species up to here index their cry directly

// IDs below 1 come out negative, id - 1, saturating rather than overflowing.
int IndexBelowOne(int id) {
    return std::max(id, INT_MIN + 1) - 1;
}

}  // namespace

int CryNumberIndex(int id) {
    if (id < 1) return IndexBelowOne(id);
    return id > LastId ? OutOfRangeIndex : id - 1;
}

int SpeciesNumberIndex(int id) {
    if (id < 1) return IndexBelowOne(id);
    if (id <= LastPlainSpecies) return id - 1;
    if (id >= FirstMissingSpecies && id < IdTableFirst) return OutOfRangeIndex;
    if (id <= LastId) return IdTable[id - IdTableFirst];
    return OutOfRangeIndex;
}

namespace {

// Code points of the bytes 0x80 to 0x9F, where Windows-1252 differs from
// Latin-1; 0 marks the five bytes it leaves undefined.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string Cp1252ToUtf8(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        auto byte = static_cast<unsigned char>(*p);
        char32_t c = byte;
        if (byte >= 0x80 && byte < 0xA0) c = Cp1252High[byte - 0x80] ? Cp1252High[byte - 0x80] : U'\uFFFD';
        AppendUtf8(out, c);
    }
    return out;
}
