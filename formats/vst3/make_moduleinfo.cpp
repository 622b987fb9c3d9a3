// make_moduleinfo: writes a VST 3 bundle's Contents/Resources/moduleinfo.json from its module, as
// a host would read it: loaded through GetPluginFactory, the factory's information and each
// class's (PClassInfo2), so the file says what the library says and nothing of its own.
//   make_moduleinfo LIBRARY MODULE_NAME OUTPUT
#include <cstdio>
#include <string>
#include <vector>

#include "formats/vst3/Vst3Module.h"

namespace {

using namespace vst3_abi;

int fail(const std::string& message) {
    std::fprintf(stderr, "make_moduleinfo: %s\n", message.c_str());
    return 1;
}

// A JSON string: quotes, backslashes and control characters escaped.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A class id as the interface prints it: its four words in hexadecimal, whatever the platform's
// byte order.
std::string classIdText(const TUID cid) {
    const auto byte = [&](int i) {
        return static_cast<unsigned>(static_cast<unsigned char>(cid[i]));
    };
#if defined(_WIN32)
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
#else
    const int order[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
#endif
    std::string text;
    for (const int i : order) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", byte(i));
        text += hex;
    }
    return text;
}

std::string list(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i > 0 ? ", " : "") + quoted(items[i]);
    return out + "]";
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1)
        parts.push_back(text.substr(from, at - from));
    if (from < text.size()) parts.push_back(text.substr(from));
    return parts;
}

const char* flag(bool set) {
    return set ? "true" : "false";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) return fail("usage: make_moduleinfo LIBRARY MODULE_NAME OUTPUT");
    const vst3_module::Module module(argv[1]);
    if (module.factory == nullptr) return fail(std::string("no factory in ") + argv[1]);
    IPluginFactory3* factory = module.factory;
    void* asked = nullptr;
    if (factory->vtbl->factory2.factory.unknown.queryInterface(factory, IPluginFactory2_iid.bytes,
                                                               &asked) != kResultOk)
        return fail("the factory offers no class information of version 2");
    auto* factory2 = static_cast<IPluginFactory3*>(asked);
    PFactoryInfo info{};
    if (factory->vtbl->factory2.factory.getFactoryInfo(factory, &info) != kResultOk)
        return fail("no factory information");

    std::string json = "{\n  \"Name\": " + quoted(argv[2]) + ",\n";
    std::string version;
    std::string classes;
    const int32 count = factory->vtbl->factory2.factory.countClasses(factory);
    for (int32 i = 0; i < count; ++i) {
        PClassInfo2 c{};
        if (factory2->vtbl->factory2.getClassInfo2(factory2, i, &c) != kResultOk)
            return fail("no information on class " + std::to_string(i));
        if (version.empty()) version = c.version;
        classes += std::string(i > 0 ? ",\n" : "") + "    {\n" +
                   "      \"CID\": " + quoted(classIdText(c.cid)) + ",\n" +
                   "      \"Category\": " + quoted(c.category) + ",\n" +
                   "      \"Name\": " + quoted(c.name) + ",\n" +
                   "      \"Vendor\": " + quoted(c.vendor) + ",\n" +
                   "      \"Version\": " + quoted(c.version) + ",\n" +
                   "      \"SDKVersion\": " + quoted(c.sdkVersion) + ",\n" +
                   "      \"Sub Categories\": " + list(split(c.subCategories, '|')) + ",\n" +
                   "      \"Class Flags\": " + std::to_string(c.classFlags) + ",\n" +
                   "      \"Cardinality\": " + std::to_string(c.cardinality) + ",\n" +
                   "      \"Snapshots\": []\n    }";
    }
    factory2->vtbl->factory2.factory.unknown.release(factory2);
    json += "  \"Version\": " + quoted(version) + ",\n";
    json += "  \"Factory Info\": {\n    \"Vendor\": " + quoted(info.vendor) +
            ",\n    \"URL\": " + quoted(info.url) + ",\n    \"E-Mail\": " + quoted(info.email) +
            ",\n    \"Flags\": {\n      \"Unicode\": " +
            flag((info.flags & PFactoryInfo::kUnicode) != 0) +
            ",\n      \"Classes Discardable\": " +
            flag((info.flags & PFactoryInfo::kClassesDiscardable) != 0) +
            ",\n      \"Component Non Discardable\": " +
            flag((info.flags & PFactoryInfo::kComponentNonDiscardable) != 0) + "\n    }\n  },\n";
    json += "  \"Compatibility\": [],\n  \"Classes\": [\n" + classes + "\n  ]\n}\n";

    std::FILE* out = std::fopen(argv[3], "wb");
    if (out == nullptr || std::fwrite(json.data(), 1, json.size(), out) != json.size() ||
        std::fclose(out) != 0)
        return fail(std::string("cannot write ") + argv[3]);
    return 0;
}
