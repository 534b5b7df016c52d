#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tellumic {

// The reactive-power gain follows the real-power gain by this fixed ratio.
inline constexpr double kReactiveRatio = 1.012362;
// A phase adjustment of 1000 is the neutral setting written with every new calibration.
inline constexpr std::int32_t kPhaseAdjustment = 1000;
// An error within this fraction (either way) passes: 0.002 is 0.2 %.
inline constexpr double kErrorTolerance = 0.002;

using PhaseValues = std::array<double, 3>;
using PhaseConstants = std::array<std::int32_t, 3>;

// Rounds to the nearest integer, an exact half to the even neighbour (10100.5 to 10100).
double roundHalfEven(double value);

struct NewConstants
{
    PhaseConstants calPower{}, calReactive{}, calVolt{};
};

// The constants that bring each phase's reading onto the references: every gain is scaled by
// reference / measurement, starting from the constants the meter measured with; the reactive
// gain follows the real-power gain by kReactiveRatio. A measurement of 0 raises RuntimeError
// 11 (division by zero) and a result outside the 32-bit range RuntimeError 6 (overflow),
// naming the phase; nothing is returned then, so nothing partial can be written.
NewConstants computeConstants(const PhaseConstants &calPower, const PhaseConstants &calVolt, const PhaseValues &measPower,
                              const PhaseValues &measVolt, double targetPower, double nominalVolts);

// An error fraction as the error boxes show it: "##0.00%" (0.01236 shows "1.24%").
std::string formatError(double fraction);
// Whether an error passes, judged on the value as shown (a shown "0.20%" passes).
bool withinTolerance(double fraction);
// The tolerance as a text for captions and descriptions: "±0.20 %".
std::string toleranceText();

}  // namespace tellumic
