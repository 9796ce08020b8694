// The voice bytes of every entry that points at one sample.
#include "voices.h"

std::vector<VoiceUpdate> VoicesFor(ImageBytes image, const ImageModel& model, uint32_t offset, SampleKind kind) {
    std::vector<VoiceUpdate> updates;
    auto scan = [&](TableKind table, uint32_t tableOffset, int entries) {
        for (int i = 0; i < entries; ++i) {
            const Entry e = ReadEntry(image, tableOffset, i);
            if (!e.pointsIntoRom || e.offset != offset) continue;
            const std::optional<SampleKind> declared = VoiceKind(e.firstWord, table);
            if (!declared || *declared == kind) continue;
            const uint8_t to = static_cast<uint8_t>(VoiceWord(table, kind));
            updates.push_back({table, i, e.at + EntryVoiceOfs, image[e.at + EntryVoiceOfs], to});
        }
    };
    if (model.HasTable()) scan(TableKind::Cry, model.table, model.entries);
    if (model.reverse) scan(TableKind::Reverse, *model.reverse, model.reverseEntries);
    return updates;
}
