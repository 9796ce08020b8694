// The command line's English for what the model reports as codes: plan
// problems and warnings, why an image cannot be opened, an image cut short,
// a quality grade, what the game will play of a new sample, what conditioning
// a sound warns of. One table from code to words per kind of report, as the
// page has one per language.
#pragma once

#include <string>

#include "conditioning.h"
#include "hearing.h"
#include "image.h"
#include "plan.h"
#include "request.h"
#include "quality.h"

// "the cry table at 0x1000 has 20 entries; ID 21 lies past it": the one
// wording of an entry past the table, `what` naming it.
std::string PastTable(uint32_t table, int entries, const std::string& what);

// Why a file of a pack cannot be imported, naming its cry (`subject`):
// `table`/`entries` the table in use, `first` the file that names the entry
// first (Twice).
std::string DescribePackFileProblem(PackFileProblem problem, const std::string& subject, uint32_t table, int entries,
                                    const std::string& first);

// The problem as a line naming its `subject` ("ID 5", "the sample at
// 0x1A0"; empty for none).
std::string DescribeProblem(const Problem& problem, const std::string& subject);
// The warning as a line naming its `subject` (the entry, when it has one).
std::string DescribePlanWarning(const PlanWarning& warning, const std::string& subject);

// The same without the entry, as the JSON message gives it.
std::string PlanWarningWords(const PlanWarning& warning);

std::string DescribeOpenProblem(const ImageModel& model);
// "the image is 7000000 bytes, shorter than the games' 16777216; ...".
std::string DescribeImageCut(const ImageCut& cut);

// A pack --fit cannot fit: the bytes still missing with every cry at its
// lowest rate, no lower than `minHz`; against --budget or the image's space.
std::string DescribeFitMissing(uint64_t missing, uint32_t minHz, bool budget);
// What a pack refused for want of room would take with --fit.
std::string DescribeFitWouldFit(uint32_t lowestHz);

// "exact", "good", "fair", "poor".
const char* GradeWord(QualityGrade grade);

// "the game cuts it short in the normal mode: 2.600 s heard of 3.000 s stored".
std::string HeardWarningWords(const HeardWarning& warning);

// A warning in the command line's words.
std::string WarningText(const AudioWarning& w);
