// The entry point and the effect record as a host sees them.
#include <gtest/gtest.h>

#include <cstring>

#include "FakeHost.h"
#include "host/DAudioEffect.h"
#include "host/Morvo.h"

namespace {

VstIntPtr dispatch(AEffect* e, std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

bool allZero(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

} // namespace

TEST(EntryPoint, AsksTheHostVersionAndGivesUpOnZero) {
    FakeHost host;
    host.answers[audioMasterVersion] = 0;
    EXPECT_EQ(pluginMain(FakeHost::callback), nullptr);
    ASSERT_EQ(host.calls.size(), 1u);
    const HostCall& call = host.calls[0];
    EXPECT_EQ(call.effect, nullptr);
    EXPECT_EQ(call.opcode, audioMasterVersion);
    EXPECT_EQ(call.index, 0);
    EXPECT_EQ(call.value, 0);
    EXPECT_EQ(call.ptr, nullptr);
    EXPECT_EQ(call.opt, 0.0f);
}

TEST(EntryPoint, AcceptsAnyNonZeroVersion) {
    for (VstIntPtr version : {VstIntPtr{1}, VstIntPtr{-1}, VstIntPtr{2400}}) {
        FakeHost host;
        host.answers[audioMasterVersion] = version;
        AEffect* e = pluginMain(FakeHost::callback);
        ASSERT_NE(e, nullptr) << "version " << version;
        EXPECT_EQ(dispatch(e, effClose), 1);
    }
}

TEST(EffectRecord, HoldsThePluginsValues) {
    FakeHost host;
    AEffect* e = pluginMain(FakeHost::callback);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->numPrograms, 16);
    EXPECT_EQ(e->numParams, 23);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    // An editor (the tests stand in windows for a native backend), mono capability and
    // replacing processing.
    EXPECT_EQ(e->flags, 0x19);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->uniqueID, fourCharCode('K', 'V', '0', '1'));
    EXPECT_EQ(e->uniqueID, 0x4B563031);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->realQualities, 0);
    EXPECT_EQ(e->offQualities, 0);
    EXPECT_EQ(e->resvd1, 0);
    EXPECT_EQ(e->resvd2, 0);
    EXPECT_EQ(e->user, nullptr);
    EXPECT_EQ(e->processDoubleReplacing, nullptr);
    EXPECT_TRUE(allZero(e->future, sizeof e->future));
    EXPECT_NE(e->dispatcher, nullptr);
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->setParameter, nullptr);
    EXPECT_NE(e->getParameter, nullptr);
    // object names the plug-in object, whose record lives inside it but is not the object.
    ASSERT_NE(e->object, nullptr);
    EXPECT_NE(e->object, static_cast<void*>(e));
    EXPECT_EQ(static_cast<AudioEffect*>(e->object)->getAeffect(), e);
    EXPECT_EQ(dispatch(e, effClose), 1);
}

TEST(EffectRecord, TwoInstancesLiveIndependently) {
    FakeHost host;
    AEffect* first = pluginMain(FakeHost::callback);
    AEffect* second = pluginMain(FakeHost::callback);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_NE(first->object, second->object);

    dispatch(first, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_EQ(static_cast<AudioEffect*>(first->object)->getSampleRate(), 48000.0f);
    EXPECT_EQ(static_cast<AudioEffect*>(second->object)->getSampleRate(), 44100.0f);

    EXPECT_EQ(dispatch(first, effClose), 1);
    // The second still answers through its own record.
    EXPECT_EQ(dispatch(second, effIdentify), fourCharCode('N', 'v', 'E', 'f'));
    float in[2][4] = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    float out[2][4] = {};
    float* inputs[2] = {in[0], in[1]};
    float* outputs[2] = {out[0], out[1]};
    second->processReplacing(second, inputs, outputs, 4);
    EXPECT_EQ(std::memcmp(in, out, sizeof in), 0);
    EXPECT_EQ(dispatch(second, effClose), 1);
}

TEST(EffectRecord, ClosingThroughTheRecordAnswersOneThoughTheDispatcherAnswersZero) {
    FakeHost host;
    AEffect* e = pluginMain(FakeHost::callback);
    ASSERT_NE(e, nullptr);
    auto* object = static_cast<AudioEffect*>(e->object);
    EXPECT_EQ(object->dispatcher(effClose, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(dispatch(e, effClose), 1);
}
