// A scripted host for tests: it answers each request as the test sets it and records every
// call it receives.
#pragma once

#include <functional>
#include <map>
#include <vector>

#include "host/DAEffectX.h"

struct HostCall {
    AEffect* effect;
    std::int32_t opcode;
    std::int32_t index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

class FakeHost {
  public:
    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    // The callback handed to the plug-in; it reaches the most recently created FakeHost.
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                          VstIntPtr value, void* ptr, float opt);

    // Fixed answers by opcode (0 when none is set)...
    std::map<std::int32_t, VstIntPtr> answers;
    // ...unless a script answers the call.
    std::function<VstIntPtr(const HostCall&)> script;
    std::vector<HostCall> calls;

    std::vector<HostCall> callsOf(std::int32_t opcode) const;

  private:
    static FakeHost* active;
    FakeHost* previous;
};
