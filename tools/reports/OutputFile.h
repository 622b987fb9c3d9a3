// A file morvo-host writes, kept whole: written into a temporary file beside it, and renamed
// over the name only when complete. A failure (a full disk, an interrupted run) removes the
// temporary and leaves any earlier file of that name as it was. Opened before anything plays,
// so that a folder that is not there or cannot be written, or an output that would overwrite
// the plug-in library being played, fails at once.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // False, with the reason, when the file cannot be made; `library` is the plug-in's file,
    // which no output may replace.
    bool open(const std::string& path, const std::string& library, std::string& error);
    bool isOpen() const { return out != nullptr; }
    const std::string& path() const { return name; }

    // Appends; a failure is kept and reported by commit.
    void write(const void* data, std::size_t size);
    void write(const std::string& text) { write(text.data(), text.size()); }
    // Rewrites bytes already written, at `offset` from the start (a length known at the end).
    void patch(long offset, const void* data, std::size_t size);
    // Completes the file under its name; false, with the system's reason, when any write
    // failed, and then the temporary is gone and an earlier file is untouched.
    bool commit(std::string& error);
    // Abandons the file: the temporary is removed.
    void discard();

  private:
    void fail();

    std::string name, temporary;
    std::FILE* out = nullptr;
    int failure = 0; // the first write's errno, 0 while all went well
};
