// The cry table in words, as identify and list print it.
#pragma once

#include <string>

#include "context.h"

// "cry table 0x... (source), N entries", with the reverse table when there is one.
std::string TableLine(const RomContext& ctx);
// Why the table stops short of the games' size, or nothing.
std::string ShortfallText(const TableShortfall& s);
