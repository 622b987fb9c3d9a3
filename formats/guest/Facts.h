// What a plug-in says about itself through its record, read once through a guest: what every
// door, the Turtle generator and morvo-host --info tell their hosts and users. No door keeps
// the plug-in's names or numbers of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/guest/Guest.h"

namespace guest {

struct ParameterFacts {
    std::string name;  // as the plug-in names it, marks included
    std::string label; // its unit
    float value;       // at creation: the default
    // False where the plug-in marks the name as one a host must not automate.
    bool automatable;
};

struct ProgramFacts {
    std::string name;
    std::vector<float> values;
};

struct Facts {
    std::string name, vendor, product;
    std::string version; // the release, as every door reports it
    std::int32_t vendorVersion = 0;
    std::string uniqueId; // the record's four characters
    std::int32_t inputs = 0, outputs = 0;
    std::vector<ParameterFacts> parameters;
    std::vector<ProgramFacts> programs;
    std::int32_t program = 0; // current at creation
    bool hasEditor = false;
    int editorWidth = 0, editorHeight = 0; // 0 for a plug-in that tells its size only once open
};

// Reads a plug-in just created and opened. Reading a program means switching to it, so this
// runs before anything plays; the plug-in is left on the program it had.
Facts describe(Guest& plugin);

// The texts a parameter's name carries for hosts beyond its name.
constexpr const char* kNotAutomatableMark = "-Do not automate";
// The name without that mark and the blanks before it.
std::string plainName(const std::string& name);

} // namespace guest
