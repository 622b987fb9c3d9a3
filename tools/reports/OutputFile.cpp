#include "reports/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string reason(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

} // namespace

bool OutputFile::open(const std::string& path, const std::string& library, std::string& error) {
    discard();
    name = path;
    std::error_code ec;
    if (!library.empty() && fs::equivalent(path, library, ec)) {
        error = "cannot write " + path + ": it is the plug-in library being played";
        return false;
    }
    if (fs::is_directory(path, ec)) {
        error = "cannot write " + path + ": " + reason(EISDIR);
        return false;
    }
    // Beside the file, so that the rename stays on one file system and replaces it at once.
    static std::atomic<unsigned> made{0};
    const fs::path target(path);
    temporary = (target.parent_path() / ("." + target.filename().string() + ".partial-" +
                                         std::to_string(made.fetch_add(1))))
                    .string();
    errno = 0;
    out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        error = "cannot write " + path + ": " + reason(errno);
        temporary.clear();
        return false;
    }
    failure = 0;
    return true;
}

void OutputFile::fail() {
    if (failure == 0) failure = errno != 0 ? errno : EIO;
}

void OutputFile::write(const void* data, std::size_t size) {
    if (out == nullptr || failure != 0 || size == 0) return;
    errno = 0;
    if (std::fwrite(data, 1, size, out) != size) fail();
}

void OutputFile::patch(long offset, const void* data, std::size_t size) {
    if (out == nullptr || failure != 0) return;
    errno = 0;
    const long end = std::ftell(out);
    if (end < 0 || std::fseek(out, offset, SEEK_SET) != 0 ||
        std::fwrite(data, 1, size, out) != size || std::fseek(out, end, SEEK_SET) != 0)
        fail();
}

bool OutputFile::commit(std::string& error) {
    if (out == nullptr) {
        error = "cannot write " + name;
        return false;
    }
    errno = 0;
    if (std::fflush(out) != 0) fail();
    errno = 0;
    if (std::fclose(out) != 0) fail();
    out = nullptr;
    std::error_code ec;
    if (failure == 0) {
        fs::rename(temporary, name, ec);
        if (!ec) {
            temporary.clear();
            return true;
        }
        error = "cannot write " + name + ": " + ec.message();
    } else {
        error = "cannot write " + name + ": " + reason(failure);
    }
    discard();
    return false;
}

void OutputFile::discard() {
    if (out != nullptr) std::fclose(out);
    out = nullptr;
    if (!temporary.empty()) std::remove(temporary.c_str());
    temporary.clear();
}
