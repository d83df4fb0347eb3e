#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "pack_error.h"

namespace brolt::pack {
namespace {

[[noreturn]] void ioFailure(const std::filesystem::path& path, const std::string& what, int error) {
    throw PackError({path.string(), 0, 0, what + ": " + std::strerror(error)});
}

}  // namespace

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

}  // namespace brolt::pack
