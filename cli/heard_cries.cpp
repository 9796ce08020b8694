#include "heard_cries.h"

#include <cstdio>

#include "heard.h"
#include "parallel.h"
#include "text.h"
#include "words.h"

GameFamily FamilyOf(const RomContext& ctx) { return FamilyOfCode(ctx.model.identity.code); }

std::vector<std::optional<HeardFigures>> TableHeardOnEachCore(const RomContext& ctx) {
    std::vector<std::optional<HeardFigures>> table(ctx.model.HasTable() ? static_cast<size_t>(ctx.model.entries) : 0);
    const GameFamily family = FamilyOf(ctx);
    WorkOnEach(
        table.size(), [&](size_t i) { table[i] = EntryHeard(ctx.image, ctx.model, static_cast<int>(i), family); },
        false);
    return table;
}

HeardCry HearCry(const EncodedCry& cry, const Bytes& input, GameFamily family, std::optional<double> tableMedianDb) {
    const uint8_t voice = CryVoiceByte(cry.kind);
    const PlayedValues coded = ValuesPlayed({voice, cry.sample});
    return {HeardSnrDb(PerfectValues(input, cry.rateField), coded, family),
            WarningsHeard(cry.sample, voice, family, tableMedianDb)};
}

void PrintHeardWarnings(const HeardWarnings& warnings) {
    for (const HeardWarning& w : warnings) std::fprintf(stderr, "warning: %s\n", HeardWarningWords(w).c_str());
}

std::string HeardSnrText(const std::optional<double>& snrDb, const char* unit) {
    return snrDb ? SnrText(*snrDb, unit) : "silent";
}
