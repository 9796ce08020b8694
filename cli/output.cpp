#include "output.h"

#include <cstdio>
#include <iostream>
#include <map>

void PrintJson(const json& j) { std::cout << j.dump(2, ' ', false, json::error_handler_t::replace) << '\n'; }

std::string PrintableBytes(const char* bytes, size_t size) {
    std::string s;
    for (size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            s += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            s += hex;
        }
    }
    return s;
}

json SampleJson(const SampleInfo& s) {
    const bool sound = s.Sound();
    return {{"offset", s.offset},
            {"kind", SampleKindName(s)},
            {"length", sound ? json(s.length) : json(nullptr)},
            {"rate", sound ? json(s.Hz()) : json(nullptr)},
            {"seconds", sound ? json(s.Seconds()) : json(nullptr)},
            {"bytes", sound ? json(s.extent) : json(nullptr)},
            {"sound", sound}};
}

json IdsJson(const std::vector<int>& ids) {
    json list = json::array();
    for (int id : ids) list.push_back(id);
    return list;
}

json EntryJson(const RomContext& ctx, std::optional<int> id, int index) {
    const Entry e = ReadEntry(ctx.image, ctx.model.table, index);
    json inStep = nullptr;
    if (ctx.model.reverse && index < ctx.model.reverseEntries) inStep = ReverseInStep(ctx.image, ctx.model, index);
    return {{"id", id ? json(*id) : json(nullptr)},
            {"index", index},
            {"at", e.at},
            {"pointer", e.inFile ? json(e.pointer) : json(nullptr)},
            {"reverse_in_step", inStep},
            {"sample", e.pointsIntoRom ? SampleJson(InspectSample(ctx.image, e.offset)) : json(nullptr)}};
}

json UpdateJson(const PointerUpdate& u) {
    return {{"table", TableName(u.table)}, {"index", u.index}, {"at", u.at}, {"from", u.from}, {"to", u.to}};
}

json PlanJson(const RomContext& ctx, const Plan& plan, const std::map<int, json>& extra) {
    auto idsOf = [&](const std::vector<int>& indexes) {
        std::vector<int> ids;
        for (int i : indexes)
            for (int id : IdsOfIndex(i, ctx.rule)) ids.push_back(id);
        return IdsJson(ids);
    };
    json cries = json::array();
    for (const CryPlan& c : plan.cries) {
        json row = {{"ids", IdsJson(IdsOfIndex(c.index, ctx.rule))},
                    {"index", c.index},
                    {"replaced", c.replaced},
                    {"old_offset", c.oldOffset},
                    {"old_bytes", c.oldBytes},
                    {"new_offset", c.newOffset},
                    {"new_bytes", c.newBytes},
                    {"old_kind", c.oldKind ? json(FormatOf(*c.oldKind).name) : json(nullptr)},
                    {"new_kind", c.newKind ? json(FormatOf(*c.newKind).name) : json(nullptr)},
                    {"moved", c.moved},
                    {"sharing_ids", idsOf(c.sharing)},
                    {"overwritten_ids", idsOf(c.overwritten)},
                    {"snr_db", nullptr}};
        if (auto it = extra.find(c.index); it != extra.end()) row.update(it->second);
        cries.push_back(row);
    }
    json pointers = json::array(), voices = json::array(), reclaimed = json::array();
    for (const PointerUpdate& u : plan.pointers) pointers.push_back(UpdateJson(u));
    for (const VoiceUpdate& v : plan.voices)
        voices.push_back({{"table", TableName(v.table)}, {"index", v.index}, {"at", v.at}, {"from", v.from}, {"to", v.to}});
    for (Span s : plan.reclaimed) reclaimed.push_back({{"start", s.start}, {"end", s.end}});
    return {{"cries", cries},          {"pointers", pointers},           {"voices", voices}, {"reclaimed", reclaimed},
            {"bytes_used", plan.bytesUsed}, {"bytes_freed", plan.bytesFreed}, {"free_left", plan.freeLeft}};
}

void ShowProgress(int done, int total) {
    int cells = done * 40 / total;
    std::fprintf(stderr, "\r[%.*s%*s] %d/%d", cells, "########################################", 40 - cells, "",
                 done, total);
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
}

