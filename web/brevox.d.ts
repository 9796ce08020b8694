// The functions web/binding.cpp registers on the module brevox.js makes
// (BrevoxModule()), and the shapes of what they return. Structured results
// cross as JSON text (JsonText<T>: JSON.parse gives a T), in the shapes the
// command line's --json output has too; bytes cross as Uint8Array copies.
// Offsets are file offsets; null stands where there is nothing.

/** JSON text that JSON.parse turns into a T. */
export type JsonText<T> = string & { readonly __shape?: T };

export interface Failure { error: string }

export type OpenProblem = 'TooLarge' | 'TableUnaligned' | 'TablePastEnd' | 'TableNoEntries' | 'EntriesTooMany';
export type TableSource = 'Given' | 'Known' | 'Moved' | 'Scan' | 'None';

/** The table in use, as `brevox-cli identify --json` gives it: table is null when there is none. */
export interface TableInUse {
  table: number | null;
  entries_in_table: number;
  found_by: TableSource;
  table_pointers: number[];
  reverse_table: number | null;
  reverse_entries: number;
  reverse_pointers: number[];
  unused_table: number | null;
  competing_tables: number[];
  ambiguous: boolean;
  /** Null when the entries were given, or the table does not stop short. */
  table_stop: TableStop | null;
  /** A given table the game's code does not point at: the cry table it points at. Null otherwise. */
  table_in_use: number | null;
  /** Null unless the image is shorter than it should be. */
  image_cut: ImageCut | null;
}

/** An image cut short: game_size is the games' 16 MiB for a known release (else null); pointed_past the
 *  furthest offset past the end an entry (index) points at, both null for none. */
export interface ImageCut { size: number; game_size: number | null; pointed_past: number | null; index: number | null }

/** What the image says it is, as `brevox-cli identify --json` gives it. */
export interface Identity {
  label: string;
  /** The game code's four bytes as a string ("" in an image too short to hold one). */
  code: string;
  revision: number | null;
  release_table: number | null;
}

export interface OpenResult extends TableInUse, Identity {
  size: number;
}

export type SampleKindName = 'compressed' | 'uncompressed' | 'unknown' | 'none';

/** length, rate (whole Hz), seconds and bytes are null unless sound. */
export interface Sample {
  offset: number;
  kind: SampleKindName;
  sound: boolean;
  length: number | null;
  rate: number | null;
  seconds: number | null;
  bytes: number | null;
}

export interface Entry {
  id: number | null;
  index: number;
  at: number;
  pointer: number | null;
  reverse_in_step: boolean | null;
  sample: Sample | null;
  /** The other entries (of either table) that play the same sample. */
  shared_with: number[];
  /** The stem of the cry's file name: cry-025, species-025, index-0400. */
  file: string;
  /** As heard in the game's normal mode; null unless the entry holds a sound. */
  heard: EntryHeard | null;
}

/** An entry as the game plays it in its normal mode: cut when the hold ends it before the sample's end;
 *  loudness_db (RMS against full scale) null for silence. */
export interface EntryHeard { seconds_heard: number; cut: boolean; loudness_db: number | null }

export type TableName = 'cry' | 'reverse';

/** A half-open byte range of the image. */
export interface Span { start: number; end: number }

export interface PointerUpdate { table: TableName; index: number; at: number; from: number; to: number }
export interface VoiceUpdate { table: TableName; index: number; at: number; from: number; to: number }

export type PlanProblemKind =
  'IndexPastTable' | 'EntryNotInImage' | 'BadSample' | 'DoesNotFit' | 'NoFreeSpace' | 'Unaligned' | 'PastEnd' |
  'Protected' | 'NotASample' | 'NotFree' | 'TwiceInOnePlan' | 'NoTable' | 'AmbiguousTable';

export interface Problem {
  kind: PlanProblemKind;
  /** -1 when the problem concerns no entry. */
  index: number;
  ids: number[];
  offset: number;
  bytes: number;
  room: number;
  part: 'Header' | 'CryTable' | 'ReverseTable' | 'Sample' | null;
}

export interface CryPlan {
  ids: number[];
  index: number;
  replaced: boolean;
  old_offset: number;
  old_bytes: number;
  new_offset: number;
  new_bytes: number;
  old_kind: string | null;
  new_kind: string | null;
  moved: boolean;
  /** Its reverse entry, in step, moved with it. */
  reverse_moved: boolean;
  /** Other entries (of either table) still playing the old sample. */
  sharing: number[];
  sharing_ids: number[];
  /** The old sample was written over in place (all_sharing): those entries play the new one too. */
  sharing_changed: boolean;
  /** The entry of this plan whose byte-identical new sample this one points at, null for none. */
  same_as: number | null;
  overwritten: number[];
  overwritten_ids: number[];
  snr_db: number | null;
}

export type PlanWarningCode = 'TableNotInUse' | 'ImageCut' | 'ReverseLeft';

/** The fields the code names are set, the others null; the page words it (message is null). */
export interface PlanWarning {
  code: PlanWarningCode;
  message: string | null;
  /** -1 when the warning concerns no entry. */
  index: number;
  ids: number[];
  table: number | null;
  in_use: number | null;
  size: number | null;
  game_size: number | null;
  pointed_past: number | null;
  /** ReverseLeft: where the reverse entry stays pointing. */
  pointer: number | null;
}

export interface Plan {
  ok: boolean;
  problems: Problem[];
  /** Also on a refused plan. */
  warnings: PlanWarning[];
  cries: CryPlan[];
  pointers: PointerUpdate[];
  voices: VoiceUpdate[];
  /** The bytes written: new samples, and FF over reclaimed slots. */
  writes: Span[];
  reclaimed: Span[];
  bytes_used: number;
  bytes_freed: number;
  /** Bytes the cries pointed at an identical new sample did not take. */
  bytes_shared: number;
  free_left: number;
}

export type AudioWarningCode = 'MixLostEnergy' | 'Clipping' | 'DcOffset' | 'PoorEncoding' | 'RateMismatch'
  | 'LoudnessShort';

/** The fields the code names are set, the others null; the page words it. */
export interface AudioWarning {
  code: AudioWarningCode;
  message: string | null;
  channels: number | null;
  kept_percent: number | null;
  clipped: number | null;
  offset_percent: number | null;
  fast: boolean | null;
  snr_db: number | null;
  peak_error: number | null;
  wav_rate: number | null;
  sample_rate: number | null;
  target_db: number | null;
  heard_db: number | null;
}

export type HeardWarningCode = 'CutInNormal' | 'CutInModes' | 'RateAboveMixer' | 'WrapsWithChorus' | 'LoudnessOff';

/** What the game will play of a new sample: the fields its code names are set, the others null; modes are
 *  the modes' names (CryMode.name). The page words it (message is null). */
export interface HeardWarning {
  code: HeardWarningCode;
  message: string | null;
  seconds_stored: number | null;
  seconds_heard: number | null;
  modes: string[] | null;
  wrapped: number | null;
  rate: number | null;
  bytes: number | null;
  bytes_at_mixer_rate: number | null;
  extra_bytes: number | null;
  loudness_db: number | null;
  median_db: number | null;
}

/** A new sample as heard: snr_heard_db compares its render in the normal mode with a perfect sample's (null
 *  when they are the same). */
export interface Heard { snr_heard_db: number | null; warnings: HeardWarning[] }

export interface WavInfo { rate: number; channels: number; raw: boolean; offset: number; size: number }

export interface ConditionOptions {
  channel: 'mix' | 'left' | 'right';
  remove_dc: boolean;
  trim_db: number | null;
  gain_db: number;
  normalize_db: number | null;
}

/** How a plan treats shared samples; an absent key keeps the default (share true, all_sharing false). */
export interface PlanOptions { share?: boolean; all_sharing?: boolean }

export interface Kind { name: string; max_values: number }
/** The rates a game plays, in whole Hz. */
/** fit_min_rate: the lowest rate a pack's fit goes to unless told; fit_max_rate: the highest it may be told. */
export interface RateLimits { min_rate: number; max_rate: number; fit_min_rate: number; fit_max_rate: number }
export interface Defaults { kind: string; rate_field: number }
/** snr_db is null for an exact encoding. */
/** The one rule for every front end's word of an encoding's quality. */
export type QualityGrade = 'Exact' | 'Good' | 'Fair' | 'Poor';
export interface Quality { snr_db: number | null; peak_error: number; grade: QualityGrade; warnings: AudioWarning[] }

/** A pack's plan: import's --reclaim and --match-loudness (to the median of the table's other cries), and the
 *  sharing options (identical new samples stored once). */
/** fit: each cry's rate chosen so that the pack fits (import --fit), none below min_rate; budget: the most
 *  bytes the new samples may take in all (null: the free space). */
export interface PackOptions extends PlanOptions {
  reclaim: boolean; match_loudness: boolean; fit?: boolean; min_rate?: number; budget?: number | null;
}

export type PackFileProblem = 'NoCryOfItsOwn' | 'PastTable' | 'Twice' | 'NoAudio' | 'TooLong' | 'NoResample';

/** A file of a pack: the entry its name gives, and its new sample (values, rate, kind, snr_db, grade) or why none. */
export interface PackFileRow {
  name: string;
  index: number;
  id: number | null;
  problem?: PackFileProblem;
  /** Twice: the file that names the entry first. */
  other?: string;
  rate?: number;
  kind?: string;
  values?: number;
  snr_db?: number | null;
  /** With fit: the SNR as heard against the sound at the highest rate the game plays. */
  snr_heard_db?: number | null;
  grade?: QualityGrade;
  warnings?: AudioWarning[];
}

/** A pack planned: the plan is null when a file is refused; loudness_db the loudness the cries were brought to. */
/** A pack's fit: the rates chosen and the new samples' bytes, or the bytes missing at the lowest rates. */
export type PackFit =
  { min_rate: number; budget: number | null; lowest_rate: number; median_rate: number; bytes?: number } |
  { missing_bytes: number };

/** fit_lowest_rate: for a pack refused for want of room without the fit, the lowest rate the fit would take to
 *  fit it (null when it would not). */
export interface PackPlan {
  ignored: string[]; files: PackFileRow[]; loudness_db: number | null; fit: PackFit | null; plan: Plan | null;
  fit_lowest_rate: number | null;
}

export interface PackApplied { plan: JsonText<Plan | Failure>; indexes: number[]; samples: Uint8Array[] }

/** A way the game plays a cry (playback.h's CryMode); name is lower case with hyphens: normal, doubles,
 *  encounter, high-pitch, echo-start, faint, echo-end, roar-1, roar-2, growl-1, growl-2, weak, weak-doubles. */
export interface CryMode {
  number: number; name: string; length: number; release: number; pitch: number; chorus: number;
  volume: number; pan: number; reverse: boolean;
}

/** What a render says of the sound as heard, as `brevox-cli render --json` gives it per mode; rate is the
 *  mixer's (13379 Hz). held and ended: the values of the sample its voice has read when the hold ends and
 *  when the note stops (null for a mode that plays it backwards); cut when the sample has that many. */
export interface RenderFigures {
  mode: string; number: number; rate: number; playable: boolean; seconds_stored: number; seconds_heard: number;
  cut: boolean; peak: number; wrapped: number; rms_db: number | null; held: number | null; ended: number | null;
}

/** A render: the output as unsigned 8-bit values at the mixer's rate, and its figures. */
export interface Render { values: Uint8Array; figures: JsonText<RenderFigures> }

export interface Brevox {
  /** Reads an image and its table (table -1: found; entries 0 or less: measured); the current image
   *  stays until `take`. A File is read in the engine's worker, straight into its memory. */
  open(rom: Uint8Array | Blob, table: number, entries: number, species: boolean):
    JsonText<OpenResult | (Failure & { problem: OpenProblem | 'Unreadable' })>;
  /** The image `open` read becomes the current one, without its edits; false when it read none. */
  take(): boolean;
  /** Writes the memory an image of `bytes` bytes will be read into, before one is chosen: memory written
   *  for the first time is slow to write. */
  prepare(bytes: number): void;
  /** Reads the current image's table again, from the bytes as opened: its edits are gone. */
  reopen(table: number, entries: number, species: boolean):
    JsonText<OpenResult | (Failure & { problem: OpenProblem })>;
  rows(): JsonText<Entry[]>;
  decode(offset: number): Uint8Array | null;
  decodeSample(sample: Uint8Array): Uint8Array | null;
  wavFile(offset: number): Uint8Array | null;
  wavInfo(file: Uint8Array): JsonText<WavInfo | Failure>;
  conditionDefaults(): JsonText<{ trim_db: number; normalize_db: number }>;
  /** A sound as the command line converts it: conditioned, resampled to toRate, quantised; null when the
   *  resampler refuses the rates. */
  convert(frames: ArrayLike<number>, channels: number, rate: number, toRate: number, options: ConditionOptions):
    { values: Uint8Array; warnings: JsonText<AudioWarning[]> } | null;
  kinds(): JsonText<Kind[]>;
  /** The rates a new sample may declare. */
  rateLimits(): RateLimits;
  defaults(index: number): JsonText<Defaults>;
  encode(values: Uint8Array, kind: string, rateField: number): Uint8Array | null;
  quality(values: Uint8Array, sample: Uint8Array): JsonText<Quality>;
  /** What the game will play of `sample` (made of `values`) in place of entry `index`: its SNR as heard and the
   *  warnings of what is heard, its loudness against the other cries'. */
  heard(index: number, values: Uint8Array, sample: Uint8Array): JsonText<Heard | Failure>;
  /** Without options, the model's defaults: identical new samples shared, a cry whose sample other entries
   *  play moved alone. */
  plan(index: number, sample: Uint8Array, options?: PlanOptions): JsonText<Plan>;
  apply(index: number, sample: Uint8Array, options?: PlanOptions): JsonText<Plan | Failure>;
  image(): Uint8Array;
  patch(): Uint8Array;
  /** Free-space bytes the current image has left. */
  freeSpace(): number;
  /** The most values a sample of kind `kind` holds in `bytes` bytes. */
  valuesFitting(kind: string, bytes: number): number;
  /** Forgets the pack being gathered. */
  packClear(): void;
  /** One file of a pack: its name and its sound as the browser decoded it. */
  packAdd(name: string, frames: Float32Array, channels: number, rate: number): void;
  /** The files added matched to entries by their names, converted, encoded and planned as one import. */
  packPlan(conditioning: ConditionOptions, options: PackOptions): JsonText<PackPlan>;
  /** The last pack planned, applied as one plan; its changes, for the history to replay. */
  packApply(): PackApplied;
  /** Several cries replaced in one plan, as a pack applied before. */
  applyMany(indexes: number[], samples: Uint8Array[], options: PackOptions): JsonText<Plan | Failure>;

  /** The modes the current image's game plays a cry in, by its game code. */
  modes(): JsonText<CryMode[]>;
  /** What the game plays of entry `index` in mode number `mode` (the reverse table's entry in the modes that
   *  play it); null when the entry lies past the table or the game has no such mode. */
  render(index: number, mode: number): Render | null;
  /** The same for a sample as `encode` made it, as an entry of its kind plays it (backwards in the modes that
   *  play the reverse table); null for no sample or no such mode. */
  renderSample(sample: Uint8Array, mode: number): Render | null;
}

export type TableStopReason = 'ImageEnd' | 'VoiceWord' | 'Pointer' | 'LastWord';
export interface TableStop { reason: TableStopReason; index: number; at: number; word: number; resumes: number; games: number }

/** The page's view of the binding, which runs in a worker (engine.js): each function answers later. */
export type Engine = { [K in keyof Brevox]: (...args: Parameters<Brevox[K]>) => Promise<ReturnType<Brevox[K]>> };
export function startEngine(): Promise<Engine>;

// What engine.js and i18n.js define for the page's scripts, which share one scope.
declare global {
  function startEngine(): Promise<Engine>;
}

export default function BrevoxModule(): Promise<Brevox>;
