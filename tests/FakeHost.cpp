#include "FakeHost.h"

FakeHost* FakeHost::active = nullptr;

FakeHost::FakeHost() : previous(active) {
    answers[audioMasterVersion] = 2400;
    active = this;
}

FakeHost::~FakeHost() {
    active = previous;
}

VstIntPtr VSTCALLBACK FakeHost::callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                         VstIntPtr value, void* ptr, float opt) {
    FakeHost& host = *active;
    const HostCall call{effect, opcode, index, value, ptr, opt};
    host.calls.push_back(call);
    if (host.script) return host.script(call);
    const auto answer = host.answers.find(opcode);
    return answer == host.answers.end() ? 0 : answer->second;
}

std::vector<HostCall> FakeHost::callsOf(std::int32_t opcode) const {
    std::vector<HostCall> found;
    for (const HostCall& call : calls)
        if (call.opcode == opcode) found.push_back(call);
    return found;
}
