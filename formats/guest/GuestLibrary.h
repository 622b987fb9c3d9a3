// A plug-in library file opened as a VST 2 host opens it (dlopen, LoadLibrary) and its entry
// point found: VSTPluginMain, or main, the name the oldest hosts look for.
#pragma once

#include <string>

#include "host/DAEffect.h"

namespace guest {

using EntryFunction = AEffect*(VSTCALLBACK*)(audioMasterCallback);

class Library {
  public:
    Library() = default;
    ~Library() { close(); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Opens the file and finds its entry point; on failure returns null with the reason, and
    // whatever was opened stays open until close.
    EntryFunction open(const std::string& path, std::string& error);
    void close();

  private:
    void* handle = nullptr;
};

} // namespace guest
