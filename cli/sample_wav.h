// A sample of the image written to a WAV file, as dump and dump-all write
// them: at the sample's own rate, resampled to another, or under the
// dialog's header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "context.h"
#include "plan.h"
#include "romfile.h"

// Bad usage for a --rate no WAV file holds, or one given with --dialog-header.
void CheckDumpRate(const std::optional<uint32_t>& rate, bool dialogHeader);

// Why the sample at `offset` cannot be dumped, as an edit would refuse it
// there (`index` names the entry, -1 for none); nothing when it can. Under
// the dialog's header a sample declaring no rate is dumped all the same.
std::optional<Problem> DumpProblem(const RomContext& ctx, uint32_t offset, int index, bool dialogHeader);
// The refusal in words, saying why a sound declaring 0 Hz is none.
std::string DumpRefusal(const RomContext& ctx, const Problem& problem);

// The rate of the WAV: the dialog header's, the one asked for, or the sample's own.
uint32_t DumpRate(const SampleInfo& s, const std::optional<uint32_t>& rate, bool dialogHeader);

// Writes the WAV; returns how many values it holds.
size_t WriteSampleWav(const Bytes& rom, const SampleInfo& s, uint32_t rate, bool dialogHeader, const std::string& path);
