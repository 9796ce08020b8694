// What the page uses of fflate, whose browser build defines the global `fflate`.
declare const fflate: {
  /** The zip of `files` (name: bytes), deflated. */
  zipSync(files: Record<string, Uint8Array>, options?: {level?: number}): Uint8Array;
};
