// What every front end asks of the model around an edit, in one place: the
// image read as the user asked (the table in use, why a measured table stops
// short, whether the image is cut), the defaults of a new sample for an entry,
// a kind by its name, and whether a sample may be dumped. The command line,
// the page's binding and the dialogs call these instead of working them out.
#pragma once

#include <optional>
#include <string>

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
