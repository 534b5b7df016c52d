#include "calibration/calibration_math.h"

#include <cmath>
#include <limits>

#include "foundation/runtime_error.h"
#include "model/number_format.h"

namespace tellumic {

namespace {

constexpr std::int32_t kDivisionByZero = 11;
constexpr std::int32_t kInvalidProcedureCall = 5;

std::int32_t constantOf(double value, const char *what, std::size_t phase)
{
    const double rounded = roundHalfEven(value);
    if (!std::isfinite(rounded) || rounded < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        throw RuntimeError(ErrorNumber::kOverflow, std::string("Overflow (") + what + static_cast<char>('A' + phase) +
                                                       " does not fit in a 32-bit number)");
    return static_cast<std::int32_t>(rounded);
}

void requireMeasured(double measured, const char *what, std::size_t phase)
{
    if (measured == 0 || !std::isfinite(measured))
        throw RuntimeError(kDivisionByZero, std::string("Division by zero (the ") + what + " of phase " +
                                                static_cast<char>('A' + phase) + " measured 0)");
}

// A reference of 0 would scale every constant to 0: the meter would then read 0 on every
// phase, so it is refused before anything is computed.
void requireReference(double reference, const char *what)
{
    if (!(reference > 0) || !std::isfinite(reference))
        throw RuntimeError(kInvalidProcedureCall, std::string("Nothing to calibrate against (the ") + what + " is " +
                                                       formatNumber(reference, "0.###") + ")");
}

}  // namespace

double roundHalfEven(double value)
{
    // The default floating-point rounding mode rounds halves to even.
    return std::nearbyint(value);
}

NewConstants computeConstants(const PhaseConstants &calPower, const PhaseConstants &calVolt, const PhaseValues &measPower,
                              const PhaseValues &measVolt, double targetPower, double nominalVolts)
{
    requireReference(targetPower, "target power, CtAmps \u00D7 NominalVac,");
    requireReference(nominalVolts, "NominalVac");
    NewConstants out;
    for (std::size_t i = 0; i < 3; ++i) {
        requireMeasured(measPower[i], "real power", i);
        out.calPower[i] = constantOf(calPower[i] * targetPower / measPower[i], "CalPower", i);
    }
    for (std::size_t i = 0; i < 3; ++i)
        out.calReactive[i] = constantOf(calPower[i] * kReactiveRatio * targetPower / measPower[i], "CalReactive", i);
    for (std::size_t i = 0; i < 3; ++i) {
        requireMeasured(measVolt[i], "voltage", i);
        out.calVolt[i] = constantOf(calVolt[i] * nominalVolts / measVolt[i], "CalVolt", i);
    }
    return out;
}

std::string formatError(double fraction)
{
    return formatNumber(fraction * 100, "##0.00") + "%";
}

bool withinTolerance(double fraction)
{
    // The shown hundredths of a percent, rounded as the box rounds them.
    const double shown = std::round(std::abs(fraction) * 10000);
    return shown <= std::round(kErrorTolerance * 10000);
}

std::string toleranceText()
{
    return "\u00B1" + formatNumber(kErrorTolerance * 100, "0.00") + " %";
}

}  // namespace tellumic
