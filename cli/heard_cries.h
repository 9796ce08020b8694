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

// A new sample as the game will play it (HearNewSample, image/hearing.h).
HeardCry HearCry(const EncodedCry& cry, const Bytes& input, GameFamily family, std::optional<double> tableMedianDb);

// The heard SNR for people: SnrText's, or "silent" where the input renders
// as silence.
std::string HeardSnrText(const std::optional<double>& snrDb, const char* unit = " dB");

// Each warning as a line "warning: ..." on standard error.
void PrintHeardWarnings(const HeardWarnings& warnings);
