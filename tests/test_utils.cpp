// The rounding rules, bounded text copies and the floating-point mask.
#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "host/DVstUtils.h"
#include "host/FloatingPoint.h"
#include "host/Morvo.h"

#include "FloatingPointState.h"

TEST(FourCharCode, FirstCharacterIsTheMostSignificantByte) {
    EXPECT_EQ(fourCharCode('V', 's', 't', 'P'), 0x56737450);
    EXPECT_EQ(fourCharCode('N', 'o', 'E', 'f'), 0x4E6F4566);
    EXPECT_EQ(fourCharCode('\xFF', 0, 0, '\x80'), static_cast<std::int32_t>(0xFF000080u));
}

TEST(Rounding, NearestWithTiesToEven) {
    EXPECT_EQ(roundToInt32(63.5L), 64);
    EXPECT_EQ(roundToInt32(62.5L), 62);
    EXPECT_EQ(roundToInt32(-2.5L), -2);
    EXPECT_EQ(roundToInt32(-3.5L), -4);
    EXPECT_EQ(roundToInt32(13.9954L), 14);
    EXPECT_EQ(roundToInt32(0.49999999L), 0);
    EXPECT_EQ(roundToInt32(-0.5L), 0);
}

TEST(Rounding, GuardsNonFiniteAndOutOfRange) {
    const long double inf = std::numeric_limits<long double>::infinity();
    EXPECT_EQ(roundToInt32(std::numeric_limits<long double>::quiet_NaN()), 0);
    EXPECT_EQ(roundToInt32(inf), INT32_MAX);
    EXPECT_EQ(roundToInt32(-inf), INT32_MIN);
    EXPECT_EQ(roundToInt32(1e12L), INT32_MAX);
    EXPECT_EQ(floorToInt32(-1e12L), INT32_MIN);
    EXPECT_EQ(floorToInt32(5512.5L), 5512);
    EXPECT_EQ(floorToInt32(-0.25L), -1);
    EXPECT_EQ(floorToInt64(1e30L), INT64_MAX);
    EXPECT_EQ(floorToInt64(-1e30L), INT64_MIN);
    EXPECT_EQ(floorToInt64(std::numeric_limits<long double>::quiet_NaN()), 0);
    EXPECT_EQ(floorToInt64(4.0L * 0.0099999998L * 100.0L), 3);
}

// The conversions store in the FPU's current rounding mode and correct afterwards; a host that
// leaves another mode set must still get the same integers.
TEST(Rounding, SameResultsInEveryRoundingMode) {
    const long double two63 = 9223372036854775808.0L;
    const long double values[] = {0.0L,
                                  -0.0L,
                                  0.25L,
                                  -0.25L,
                                  0.5L,
                                  -0.5L,
                                  1.5L,
                                  2.5L,
                                  -2.5L,
                                  -3.5L,
                                  63.5L,
                                  62.5L,
                                  5512.999999L,
                                  -5512.00001L,
                                  2147483646.5L,
                                  -2147483647.5L,
                                  two63 / 2 + 0.5L,
                                  -(two63 / 2) - 0.5L,
                                  two63 - 1.0L,
                                  -two63 + 0.5L,
                                  -two63,
                                  two63};
    const int modes[] = {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO};
    const int saved = std::fegetround();
    for (const int mode : modes) {
        ASSERT_EQ(std::fesetround(mode), 0);
        for (const long double value : values) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << ", value " << value);
            // The expected floors, computed exactly whatever the mode: floorl does not round.
            const long double floor = std::floor(value);
            const std::int64_t floor64 =
                floor >= two63
                    ? INT64_MAX
                    : (floor < -two63 + 1.0L ? INT64_MIN : static_cast<std::int64_t>(floor));
            EXPECT_EQ(floorToInt64(value), floor64);
            const std::int32_t floor32 =
                floor64 > INT32_MAX
                    ? INT32_MAX
                    : (floor64 < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(floor64));
            EXPECT_EQ(floorToInt32(value), floor32);
            const long double fraction = value - floor;
            std::int64_t nearest = floor64;
            if (fraction > 0.5L || (fraction == 0.5L && (floor64 & 1) != 0)) ++nearest;
            if (std::fabs(value) <= 2147483647.5L) {
                EXPECT_EQ(roundToInt32(value), nearest);
            }
        }
    }
    std::fesetround(saved);
}

TEST(Rounding, NarrowingSaturates) {
    EXPECT_EQ(narrowToInt32(5), 5);
    EXPECT_EQ(narrowToInt32(-5), -5);
    EXPECT_EQ(narrowToInt32(std::int64_t{1} << 40), INT32_MAX);
    EXPECT_EQ(narrowToInt32(-(std::int64_t{1} << 40)), INT32_MIN);
}

TEST(CopyText, CutsToTheBufferAndAlwaysTerminates) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    copyText(buffer, "Preset 15 is long", sizeof buffer);
    EXPECT_STREQ(buffer, "Preset ");
    copyText(buffer, "ok", sizeof buffer);
    EXPECT_STREQ(buffer, "ok");
    copyText(buffer, nullptr, sizeof buffer);
    EXPECT_STREQ(buffer, "");
    buffer[0] = 'q';
    copyText(buffer, "ignored", 0); // no room at all: nothing written
    EXPECT_EQ(buffer[0], 'q');
}

#if defined(__i386__) || defined(__x86_64__)
TEST(FloatingPoint, MaskingSetsAllExceptionMasksNearestAndExtendedPrecision) {
    const unsigned short savedWord = x87ControlWord();
    const unsigned int savedCsr = sseControl();
    // A host thread with invalid, divide-by-zero and overflow unmasked, rounding down and
    // 53-bit precision.
    setX87ControlWord(0x1632);
    setSseControl(savedCsr & ~0x0380u);

    maskFloatingPointExceptions();
    const unsigned short word = x87ControlWord();
    const unsigned int csr = sseControl();

    volatile double zero = 0.0;
    const double quotient = 1.0 / zero;
    volatile long double zeroX = 0.0L;
    const long double quotientX = 1.0L / zeroX;
    // The divisions left their flags raised: a later unmasking would raise them as exceptions.
    std::feclearexcept(FE_ALL_EXCEPT);

    setX87ControlWord(savedWord);
    setSseControl(savedCsr);
    // The six masks, precision control 64 bits, rounding control nearest (bit 6 is reserved
    // and reads as set on current processors).
    EXPECT_EQ(word & 0x0F3F, 0x033F);
    EXPECT_EQ(csr & kSseExceptionMasks, kSseExceptionMasks);
    EXPECT_TRUE(std::isinf(quotient));
    EXPECT_TRUE(std::isinf(quotientX));
}
#endif
