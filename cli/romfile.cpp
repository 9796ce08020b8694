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

// --- The platform's part: exclusive creation, sync, rename over, modes. ---
#ifdef _WIN32
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
// Windows keeps only the read-only attribute, which a file we may write lacks.
bool KeepMode(int, const std::string&) { return true; }
void SyncDirectoryOf(const std::string&) {}
#else
int OpenExclusive(const std::string& path) { return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600); }
bool SyncFile(FILE* f) { return fsync(fileno(f)) == 0; }
bool RenameOver(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }
int ProcessId() { return getpid(); }

// The mode the replaced file had, or for a new file the one creat() gives.
bool KeepMode(int fd, const std::string& path) {
    struct stat st;
    mode_t mode;
    if (stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    return fchmod(fd, mode) == 0;
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

// Creates a new temporary file in the directory of `path`; fails when none
// can be made there (no write permission on the directory, for example).
FilePtr CreateTemporary(const std::string& path, std::string* tempPath) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        *tempPath = path + ".tmp-" + std::to_string(ProcessId()) + "-" + std::to_string(attempt);
        int fd = OpenExclusive(*tempPath);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            break;
        }
        if (!KeepMode(fd, path)) {
            std::string reason = Reason();
            close(fd);
            std::remove(tempPath->c_str());
            Fail("cannot set the permissions of '" + *tempPath + "': " + reason);
        }
        FILE* f = fdopen(fd, "wb");
        if (!f) {
            close(fd);
            std::remove(tempPath->c_str());
            break;
        }
        return FilePtr(f);
    }
    Fail("cannot create a temporary file beside '" + path + "': " + Reason());
}

}  // namespace

Bytes ReadWholeFile(const std::string& path, const char* what) {
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) Fail(std::string("cannot open ") + what + " '" + path + "': " + Reason());
    // One read of the size the file has, then whatever it has gained since.
    Bytes bytes;
    if (std::fseek(f.get(), 0, SEEK_END) == 0) {
        long size = std::ftell(f.get());
        if (size > 0) bytes.resize(static_cast<size_t>(size));
        std::rewind(f.get());
    }
    size_t got = std::fread(bytes.data(), 1, bytes.size(), f.get());
    bytes.resize(got);
    uint8_t chunk[1 << 14];
    while ((got = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    if (std::ferror(f.get())) Fail(std::string("cannot read ") + what + " '" + path + "': " + Reason());
    return bytes;
}

void ReplaceFileContents(const std::string& givenPath, const std::function<bool(FILE*)>& fill,
                         const ReplaceOptions& options) {
    // Through a symbolic link, the file it names is replaced, not the link.
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::canonical(givenPath, error);
    const std::string path = error ? givenPath : resolved.string();
    std::string tempPath;
    FilePtr temp = CreateTemporary(path, &tempPath);
    errno = 0;
    bool written = fill(temp.get()) && std::fflush(temp.get()) == 0 && (!options.sync || SyncFile(temp.get()));
    if (written && options.injectFailure && options.injectFailure()) {
        written = false;
        errno = EIO;
    }
    std::string reason = errno ? Reason() : "write failed";
    // fclose reports a failure of the last buffered write; either way the
    // stream is closed exactly once here.
    if (std::fclose(temp.release()) != 0 && written) {
        written = false;
        reason = Reason();
    }
    if (!written) {
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
    ReplaceFileContents(
        path, [&](FILE* f) { return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(); },
        options);
}

#ifdef _WIN32
bool IsTerminal(FILE* stream) { return _isatty(_fileno(stream)) != 0; }
void UseUtf8Console() { SetConsoleOutputCP(CP_UTF8); }
#else
bool IsTerminal(FILE* stream) { return isatty(fileno(stream)) != 0; }
void UseUtf8Console() {}
#endif

std::string BackupPath(const std::string& romPath) { return romPath + ".bak"; }
