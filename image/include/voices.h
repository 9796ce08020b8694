// The voice bytes that must follow a sample written over another: every
// entry whose pointer leads to the sample plays its bytes as its voice byte
// says, so when the bytes change kind under an offset, each of those entries
// has to declare the new kind.
#pragma once

#include <vector>

#include "plan.h"

// The voice bytes to rewrite so that every entry of the cry table and of the
// reverse table whose pointer leads to `offset` declares a sample of `kind`.
// Entries whose first word is no voice word of their table are left alone.
std::vector<VoiceUpdate> VoicesFor(ImageBytes image, const ImageModel& model, uint32_t offset, SampleKind kind);
