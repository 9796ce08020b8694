#include "romfile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "text.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

std::string Reason() { return std::strerror(errno); }

// --- The platform's part: file types, exclusive creation, sync, rename
// over, write permission, owner and modes. ---
#ifdef _WIN32
using StatBuf = struct _stat64;  // 64-bit sizes: images are checked before they are read
bool StatPath(const std::string& path, StatBuf* st) { return _stat64(path.c_str(), st) == 0; }
int OpenExclusive(const std::string& path) {
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
bool SyncFile(FILE* f) { return _commit(_fileno(f)) == 0; }
bool RenameOver(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    errno = EACCES;  // the usual cause: the file is open in another program
    return false;
}
int ProcessId() { return _getpid(); }
bool MayWrite(const std::string& path, const StatBuf&) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY);
}
// Windows keeps only the read-only attribute, which a file we may write lacks.
bool KeepOwnerAndMode(int, const std::string&) { return true; }
void SyncDirectoryOf(const std::string&) {}
#else
using StatBuf = struct stat;
bool StatPath(const std::string& path, StatBuf* st) { return stat(path.c_str(), st) == 0; }
int OpenExclusive(const std::string& path) { return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600); }
bool SyncFile(FILE* f) { return fsync(fileno(f)) == 0; }
bool RenameOver(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }
int ProcessId() { return getpid(); }

// access() answers for this process, and root passes it whatever the mode.
// A file that grants write permission to no one (chmod a-w, the usual way to
// protect a file) is therefore refused from its mode bits as well: root
// could write it, but its owner said it must not change.
bool MayWrite(const std::string& path, const StatBuf& st) {
    return access(path.c_str(), W_OK) == 0 && (st.st_mode & 0222) != 0;
}

// The owner, group and mode the replaced file had, or for a new file the
// mode creat() gives. Only a privileged process may give a file away, so a
// refused change of owner (EPERM) leaves the temporary file ours; the owner
// comes first because a change of owner clears the set-ID bits.
bool KeepOwnerAndMode(int fd, const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        mode_t mask = umask(0);
        umask(mask);
        return fchmod(fd, 0666 & ~mask) == 0;
    }
    if (fchown(fd, st.st_uid, st.st_gid) != 0 && errno != EPERM) return false;
    return fchmod(fd, st.st_mode & 07777) == 0;
}

// Makes the rename itself durable; a failure here loses nothing already done.
void SyncDirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = open(dir.c_str(), O_RDONLY);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}
#endif

// What a path that is not a regular file is, in words; null for a regular file.
const char* OtherKind(const StatBuf& st) {
    switch (st.st_mode & S_IFMT) {
        case S_IFREG: return nullptr;
        case S_IFDIR: return "a directory";
        case S_IFIFO: return "a named pipe";
        case S_IFCHR: return "a device";
#ifdef S_IFBLK
        case S_IFBLK: return "a device";
#endif
#ifdef S_IFSOCK
        case S_IFSOCK: return "a socket";
#endif
    }
    return "something other than a file";
}

void RefuseOtherKind(const std::string& path, const StatBuf& st, const std::string& what) {
    if (const char* kind = OtherKind(st)) Fail(what + " '" + path + "' is " + kind + ", not a file");
}

std::string SizeText(uint64_t bytes) {
    return bytes % (1 << 20) == 0 ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes) + " bytes";
}

[[noreturn]] void TooLarge(const std::string& path, const char* what, uint64_t maxSize) {
    Fail(std::string(what) + " '" + path + "' is larger than " + SizeText(maxSize));
}

// Creates `path` exclusively with the owner and mode of `model`. Null, with
// errno set, when that fails (EEXIST: `path` exists already); nothing is left
// behind then.
FilePtr CreateLike(const std::string& path, const std::string& model) {
    int fd = OpenExclusive(path);
    if (fd < 0) return nullptr;
    FILE* f = KeepOwnerAndMode(fd, model) ? fdopen(fd, "wb") : nullptr;
    if (!f) {
        int error = errno;
        close(fd);
        std::remove(path.c_str());
        errno = error;
    }
    return FilePtr(f);
}

// Creates a new temporary file in the directory of `path`; fails when none
// can be made there (no write permission on the directory, for example).
FilePtr CreateTemporary(const std::string& path, std::string* tempPath) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        *tempPath = path + ".tmp-" + std::to_string(ProcessId()) + "-" + std::to_string(attempt);
        if (FilePtr f = CreateLike(*tempPath, path)) return f;
        if (errno != EEXIST) break;
    }
    Fail("cannot create a temporary file beside '" + path + "': " + Reason());
}

// The n-th name of the backup series of `romPath`: ROM.bak, ROM.1.bak, ...
std::string BackupName(const std::string& romPath, int n) {
    return romPath + (n == 0 ? "" : "." + std::to_string(n)) + ".bak";
}

// Fills `f`, flushes it, syncs it when asked and closes it exactly once.
// False, with the reason of the first failure, when any step failed.
bool FillAndClose(FilePtr f, const std::function<bool(FILE*)>& fill, const ReplaceOptions& options,
                  std::string* reason) {
    errno = 0;
    bool written = fill(f.get()) && std::fflush(f.get()) == 0 && (!options.sync || SyncFile(f.get()));
    if (written && options.injectFailure && options.injectFailure()) {
        written = false;
        errno = EIO;
    }
    *reason = errno ? Reason() : "write failed";
    // fclose reports a failure of the last buffered write.
    if (std::fclose(f.release()) != 0 && written) {
        written = false;
        *reason = Reason();
    }
    return written;
}

std::function<bool(FILE*)> WriteBytes(const Bytes& bytes) {
    return [&bytes](FILE* f) { return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(); };
}

}  // namespace

void RequireRegularFile(const std::string& path, const char* what) {
    StatBuf st;
    if (StatPath(path, &st)) RefuseOtherKind(path, st, what);
}

Bytes ReadWholeFile(const std::string& path, const char* what, uint64_t maxSize) {
    // Decided before the open, which for a pipe or a device could wait forever.
    StatBuf st;
    uint64_t size = 0;
    if (StatPath(path, &st)) {
        RefuseOtherKind(path, st, what);
        size = static_cast<uint64_t>(st.st_size);
        if (size > maxSize) TooLarge(path, what, maxSize);
    }
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) Fail(std::string("cannot open ") + what + " '" + path + "': " + Reason());
    // One read of the size the file had, then whatever it has gained since,
    // up to just past the limit.
    Bytes bytes(static_cast<size_t>(size));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f.get()));
    uint8_t chunk[1 << 14];
    size_t got;
    while (bytes.size() <= maxSize && (got = std::fread(chunk, 1, sizeof chunk, f.get())) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    if (std::ferror(f.get())) Fail(std::string("cannot read ") + what + " '" + path + "': " + Reason());
    if (bytes.size() > maxSize) TooLarge(path, what, maxSize);
    return bytes;
}

// A rename would put a file in place of a directory, pipe or device, and
// would replace a file the user may not write just as well.
void RequireReplaceable(const std::string& path) {
    StatBuf st;
    if (!StatPath(path, &st)) return;
    if (const char* kind = OtherKind(st)) Fail("cannot replace '" + path + "': it is " + kind + ", not a file");
    if (!MayWrite(path, st)) Fail("cannot replace '" + path + "': it is read-only (left unchanged)");
}

void ReplaceFileContents(const std::string& givenPath, const std::function<bool(FILE*)>& fill,
                         const ReplaceOptions& options) {
    // Through a symbolic link, the file it names is replaced, not the link.
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::canonical(givenPath, error);
    const std::string path = error ? givenPath : resolved.string();
    RequireReplaceable(path);
    std::string tempPath;
    std::string reason;
    if (!FillAndClose(CreateTemporary(path, &tempPath), fill, options, &reason)) {
        std::remove(tempPath.c_str());
        Fail("cannot write '" + path + "': " + reason + " (left unchanged)");
    }
    if (!RenameOver(tempPath, path)) {
        reason = Reason();
        std::remove(tempPath.c_str());
        Fail("cannot replace '" + path + "': " + reason + " (left unchanged)");
    }
    if (options.sync) SyncDirectoryOf(path);
}

void ReplaceFileBytes(const std::string& path, const Bytes& bytes, const ReplaceOptions& options) {
    ReplaceFileContents(path, WriteBytes(bytes), options);
}

#ifdef _WIN32
bool IsTerminal(FILE* stream) { return _isatty(_fileno(stream)) != 0; }
void UseUtf8Console() { SetConsoleOutputCP(CP_UTF8); }
#else
bool IsTerminal(FILE* stream) { return isatty(fileno(stream)) != 0; }
void UseUtf8Console() {}
#endif

std::string BackupPath(const std::string& romPath) {
    for (int n = 0;; ++n) {
        std::string name = BackupName(romPath, n);
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(name, error))) return name;
    }
}

std::string WriteBackup(const std::string& romPath, const Bytes& image) {
    RequireReplaceable(romPath);
    for (int n = 0;; ++n) {
        std::string name = BackupName(romPath, n);
        FilePtr f = CreateLike(name, romPath);
        if (!f && errno == EEXIST) continue;
        if (!f) Fail("cannot create the backup '" + name + "': " + Reason() + " (ROM left unchanged)");
        std::string reason;
        if (!FillAndClose(std::move(f), WriteBytes(image), {}, &reason)) {
            std::remove(name.c_str());
            Fail("cannot write the backup '" + name + "': " + reason + " (ROM left unchanged)");
        }
        return name;
    }
}
