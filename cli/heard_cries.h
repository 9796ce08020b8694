// What the game will play, for the commands that show it: the heard figures
// of the table's cries worked out on every core, and a new sample's heard
// SNR and warnings (the model's, image/heard.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "context.h"
#include "hearing.h"
#include "writing.h"

// The family whose cry modes the ROM's game plays.
GameFamily FamilyOf(const RomContext& ctx);

// Every entry of the table in use as heard (TableHeard), on every core.
std::vector<std::optional<HeardFigures>> TableHeardOnEachCore(const RomContext& ctx);

// A new sample as the game will play it: the SNR of its heard render against
// that of a perfect sample of `input` (the values it was made from) at the
// same rate, and what it warns of, its loudness against `tableMedianDb` when
// there is one.
struct HeardCry {
    std::optional<double> snrDb;
    HeardWarnings warnings;
};
HeardCry HearCry(const EncodedCry& cry, const Bytes& input, GameFamily family, std::optional<double> tableMedianDb);

// The heard SNR for people: SnrText's, or "silent" where the input renders
// as silence.
std::string HeardSnrText(const std::optional<double>& snrDb, const char* unit = " dB");

// Each warning as a line "warning: ..." on standard error.
void PrintHeardWarnings(const HeardWarnings& warnings);
