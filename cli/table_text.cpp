#include "table_text.h"

#include "text.h"

std::string TableLine(const RomContext& ctx) {
    std::string line = "cry table " + Hex(ctx.model.table) + " (" + SourceName(ctx.model.source) + "), " +
                       std::to_string(ctx.model.entries) + " entries";
    if (ctx.model.reverse)
        line += "; reverse table " + Hex(*ctx.model.reverse) + ", " + std::to_string(ctx.model.reverseEntries) + " entries";
    return line;
}

std::string ShortfallText(const TableShortfall& s) {
    if (s.stop == TableStop::None) return "";
    std::string text = "the cry table stops after " + std::to_string(s.index) + " entries, short of the games' " +
                       std::to_string(GameTableEntries) + ": entry " + std::to_string(s.index) + " at " + Hex(s.at);
    switch (s.stop) {
        case TableStop::ImageEnd: text += " runs past the end of the image"; break;
        case TableStop::VoiceWord: text += " starts with " + HexWord(s.word) + ", no voice word"; break;
        case TableStop::Pointer: text += " points at " + HexWord(s.word) + ", outside the image"; break;
        case TableStop::LastWord: text += " ends with " + HexWord(s.word) + ", not FF 00 FF 00"; break;
        case TableStop::None: break;
    }
    if (s.resumes > 0)
        text += "; " + std::to_string(s.resumes) + " entries after it carry the words again (--entries " +
                std::to_string(s.index + 1 + s.resumes) + " reads them)";
    return text;
}
