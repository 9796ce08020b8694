// What every front end asks of the model around an edit, in one place: the
// image read as the user asked (the table in use, why a measured table stops
// short, whether the image is cut), the defaults of a new sample for an entry,
// a kind by its name, and whether a sample may be dumped. The command line,
// the page's binding and the dialogs call these instead of working them out.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image.h"
#include "plan.h"

// An image as a front end opens it.
struct ImageReading {
    ImageModel model;
    TableShortfall shortfall;    // none when the size was stated
    std::optional<ImageCut> cut;  // the image is shorter than it should be
};
ImageReading ReadImageModel(ImageBytes image, const TableRequest& request);

// The kind and rate a new sample for the entry `index` of the table in use
// takes unless the user says otherwise (DefaultsFor the sample it points at).
SampleDefaults DefaultsForEntry(ImageBytes image, const ImageModel& model, int index);

// The format whose name (SampleFormat::name) is `name`, or nullptr.
const SampleFormat* FormatNamed(const std::string& name);

// Why the sample at `offset` cannot be decoded (dumped, played), as the
// problem an edit meets there: PastEnd (no header inside the image) or
// NotASample (no sound: an unknown kind, a length running past the end, an
// implausible header). `index` names the entry, -1 for none. Nothing for a sound.
std::optional<Problem> DecodeProblem(ImageBytes image, uint32_t offset, int index = -1);

// A file of a pack (a folder `import` reads, the files dropped on the page),
// matched to the entry its name gives (ParseCryFileName). Files named for no
// cry are left out, to be listed as ignored.
enum class PackFileProblem {
    None,
    NoCryOfItsOwn,  // an ID that reaches no entry (past 411, a placeholder)
    PastTable,      // an entry past the table in use
    Twice,          // an entry another file of the pack names too (`other`, the first)
};
struct PackFile {
    size_t file = 0;  // its place in the names given
    EntryRow row;
    PackFileProblem problem = PackFileProblem::None;
    size_t other = 0;  // Twice: the file that named the entry first
};
// The name machine output gives a pack file's problem (None: "None").
const char* PackFileProblemName(PackFileProblem problem);
// The files of `names` that name a cry, in the order of their entries (those
// with no entry first); `ignored` gets the places of the others.
std::vector<PackFile> MatchPackFiles(std::span<const std::string> names, const ImageModel& model, IdRule rule,
                                     std::vector<size_t>* ignored);
