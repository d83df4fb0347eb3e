#include "file_io.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "pack_error.h"
#include "text_encoding.h"

namespace brolt::pack {
namespace {

[[noreturn]] void ioFailure(const std::filesystem::path& path, const std::string& what, int error) {
    throw PackError({pathToUtf8(path), 0, 0, what + ": " + std::strerror(error)});
}

#ifdef _WIN32

// The system's text for a Windows error code, as UTF-8 without the trailing line end.
std::string windowsErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string utf8 = length > 0
                           ? utf16ToUtf8(std::u16string_view(reinterpret_cast<char16_t*>(text), length))
                           : "error " + std::to_string(error);
    LocalFree(text);
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == ' '))
        utf8.pop_back();
    return utf8;
}

[[noreturn]] void windowsFailure(const std::filesystem::path& path, const std::string& what, DWORD error) {
    throw PackError({pathToUtf8(path), 0, 0, what + ": " + windowsErrorText(error)});
}

// A file handle closed when it goes out of scope.
struct FileHandle {
    HANDLE handle;
    explicit FileHandle(HANDLE h) : handle(h) {}
    ~FileHandle() { close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool valid() const { return handle != INVALID_HANDLE_VALUE; }
    bool close() {
        const bool closed = !valid() || CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
        return closed;
    }
};

// Temporary names tried before giving up; another packer writing beside the same target takes one.
constexpr int kTemporaryNameAttempts = 100;

#endif

}  // namespace

std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string pathToUtf8(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

std::filesystem::path programDirectory(const char* argv0) {
    std::error_code error;
#ifdef _WIN32
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0)
            break;
        if (length < name.size()) {
            name.resize(length);
            return std::filesystem::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
#else
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        return program.parent_path();
#endif
    return std::filesystem::absolute(pathFromUtf8(argv0), error).parent_path();
}

std::vector<uint8_t> readWholeFile(const std::filesystem::path& path) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        ioFailure(path, "cannot read", EISDIR);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        ioFailure(path, "cannot open", errno);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        ioFailure(path, "cannot read", errno);
    return bytes;
}

#ifdef _WIN32

void writeFileAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                         std::filesystem::perms) {
    const std::filesystem::path directory = target.has_parent_path() ? target.parent_path() : ".";
    std::filesystem::path temporary;
    FileHandle file(INVALID_HANDLE_VALUE);
    for (int attempt = 0; attempt < kTemporaryNameAttempts && !file.valid(); ++attempt) {
        temporary = directory / (L"." + target.filename().wstring() + L"." +
                                 std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt));
        file.handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (!file.valid() && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (!file.valid()) {
        windowsFailure(target, "cannot create a temporary file in " + pathToUtf8(directory), GetLastError());
    }

    auto failWith = [&](const std::string& what) {
        const DWORD error = GetLastError();
        file.close();
        DeleteFileW(temporary.c_str());
        windowsFailure(target, what, error);
    };
    size_t written = 0;
    while (written < bytes.size()) {
        // WriteFile takes at most 4 GiB at a time.
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - written, 1u << 30));
        DWORD n = 0;
        if (!WriteFile(file.handle, bytes.data() + written, chunk, &n, nullptr))
            failWith("cannot write");
        written += n;
    }
    if (!FlushFileBuffers(file.handle))
        failWith("cannot write");
    if (!file.close())
        failWith("cannot write");
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        failWith("cannot write");
}

#else

void writeFileAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                         std::filesystem::perms permissions) {
    const std::filesystem::path directory = target.has_parent_path() ? target.parent_path() : ".";
    std::string pattern = (directory / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        ioFailure(target, "cannot create a temporary file in " + directory.string(), errno);

    auto failWith = [&](const std::string& what) {
        const int error = errno;
        close(fd);
        unlink(pattern.c_str());
        ioFailure(target, what, error);
    };
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failWith("cannot write");
        }
        written += static_cast<size_t>(n);
    }
    if (fchmod(fd, static_cast<mode_t>(permissions)) != 0)
        failWith("cannot set permissions");
    if (fsync(fd) != 0)
        failWith("cannot write");
    if (close(fd) != 0) {
        const int error = errno;
        unlink(pattern.c_str());
        ioFailure(target, "cannot write", error);
    }
    if (std::rename(pattern.c_str(), target.c_str()) != 0) {
        const int error = errno;
        unlink(pattern.c_str());
        ioFailure(target, "cannot write", error);
    }
}

#endif

}  // namespace brolt::pack
