// The speaker-arrangement routines.
#include <gtest/gtest.h>

#include <cstring>

#include "TestEffect.h"

namespace {

VstSpeakerProperties speaker(float azimuth, const char* name, std::int32_t type) {
    VstSpeakerProperties s{};
    s.azimuth = azimuth;
    s.elevation = azimuth / 2;
    s.radius = 1.0f;
    s.reserved = 3.0f;
    std::strcpy(s.name, name);
    s.type = type;
    for (std::size_t i = 0; i < sizeof s.future; ++i)
        s.future[i] = static_cast<char>(i + 1);
    return s;
}

} // namespace

TEST(Arrangement, AllocateReservesAZeroedBlockForTheChannels) {
    MinimalEffect fx(nullptr);
    VstSpeakerArrangement* a = nullptr;
    ASSERT_TRUE(fx.allocateArrangement(&a, 0));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->numChannels, 0);
    EXPECT_EQ(a->type, 0);

    ASSERT_TRUE(fx.allocateArrangement(&a, 3)); // releases the old block first
    EXPECT_EQ(a->numChannels, 3);
    const auto* bytes = reinterpret_cast<const unsigned char*>(speakerAt(a, 0));
    for (std::size_t i = 0; i < 3 * sizeof(VstSpeakerProperties); ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;

    EXPECT_FALSE(fx.allocateArrangement(&a, -1));
    EXPECT_EQ(a, nullptr);
    EXPECT_TRUE(fx.deallocateArrangement(&a));
    EXPECT_TRUE(fx.deallocateArrangement(&a)); // true whatever there was
}

TEST(Arrangement, MatchCopiesTypeAndEverySpeaker) {
    MinimalEffect fx(nullptr);
    VstSpeakerArrangement* source = nullptr;
    ASSERT_TRUE(fx.allocateArrangement(&source, 2));
    source->type = 1;
    *speakerAt(source, 0) = speaker(-30.0f, "L", 1);
    *speakerAt(source, 1) = speaker(30.0f, "R", 2);

    VstSpeakerArrangement* copy = nullptr;
    ASSERT_TRUE(fx.allocateArrangement(&copy, 5)); // replaced by the match
    ASSERT_TRUE(fx.matchArrangement(&copy, source));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->type, 1);
    EXPECT_EQ(copy->numChannels, 2);
    // 2 * 112 + 8 bytes, the same as the source's block.
    EXPECT_EQ(std::memcmp(copy, source, 2 * sizeof(VstSpeakerProperties) + 8), 0);

    EXPECT_FALSE(fx.matchArrangement(&copy, nullptr));
    fx.deallocateArrangement(&copy);
    fx.deallocateArrangement(&source);
}

TEST(Arrangement, CopySpeakerNeedsBothRecordsAndBoundsTheName) {
    MinimalEffect fx(nullptr);
    VstSpeakerProperties from = speaker(10.0f, "C", 3);
    VstSpeakerProperties to = speaker(0.0f, "old", 9);
    const VstSpeakerProperties before = to;
    EXPECT_FALSE(fx.copySpeaker(&to, nullptr));
    EXPECT_FALSE(fx.copySpeaker(nullptr, &from));
    EXPECT_EQ(std::memcmp(&to, &before, sizeof to), 0);

    // A name filling all 64 bytes without a terminator is cut, never overrun.
    std::memset(from.name, 'n', sizeof from.name);
    EXPECT_TRUE(fx.copySpeaker(&to, &from));
    EXPECT_EQ(std::strlen(to.name), sizeof to.name - 1);
    EXPECT_EQ(to.type, 3);
    EXPECT_EQ(to.azimuth, 10.0f);
    EXPECT_EQ(to.elevation, 5.0f);
    EXPECT_EQ(to.radius, 1.0f);
    EXPECT_EQ(to.reserved, 3.0f);
    EXPECT_EQ(std::memcmp(to.future, from.future, sizeof to.future), 0);
}
