// The corner placement that paints every line against the geometry's definition in extended
// precision: the same point, or the same failure, for every corner at every angle.
#include "engine/BarcodeEngine.h"
#include "engine/DrawingGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <random>
#include <sstream>
#include <vector>

namespace quillax {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

// The definition: extended precision throughout, rounded to nearest with halves to even,
// converted by the language's own conversion; nullopt where a value leaves 32 bits.
std::optional<int32_t> DefinedCoordinate(long double whole) {
    if (!(whole >= kMin && whole <= kMax)) return std::nullopt;
    return static_cast<int32_t>(whole);
}

std::optional<TPoint> DefinedPlacement(TPoint p, double alpha, TPoint origin) {
    const long double s = std::sin(static_cast<long double>(alpha));
    const long double c = std::cos(static_cast<long double>(alpha));
    const long double x = p.X, y = p.Y;
    const auto tx = DefinedCoordinate(std::rint(x * c + y * s));
    const auto ty = DefinedCoordinate(std::rint(-x * s + y * c));
    if (!tx || !ty) return std::nullopt;
    const auto ox = DefinedCoordinate(static_cast<long double>(*tx) + origin.X);
    const auto oy = DefinedCoordinate(static_cast<long double>(*ty) + origin.Y);
    if (!ox || !oy) return std::nullopt;
    return TPoint{*ox, *oy};
}

// Degrees to radians as the drawing takes them.
double Radians(double degrees) {
    return static_cast<double>(static_cast<long double>(degrees) / 180 *
                               std::numbers::pi_v<long double>);
}

template <class F>
std::optional<TPoint> Caught(F place) {
    try {
        return place();
    } catch (const Exception&) {
        return std::nullopt;
    }
}

std::string Describe(const std::optional<TPoint>& p) {
    std::ostringstream out;
    if (p)
        out << "(" << p->X << ", " << p->Y << ")";
    else
        out << "out of range";
    return out.str();
}

// Angles: every right angle and its whole turns, angles a hair away from them, the engine's
// test angles and a spread of arbitrary ones.
std::vector<double> SampleAngles(std::mt19937& random) {
    std::vector<double> angles;
    for (int turn = -3; turn <= 3; ++turn)
        for (double right : {0.0, 90.0, 180.0, 270.0})
            angles.push_back(right + 360.0 * turn);
    for (double hair : {1e-9, 1e-6, 1e-3})
        for (double right : {0.0, 90.0, 180.0, 270.0})
            angles.insert(angles.end(), {right + hair, right - hair});
    angles.insert(angles.end(), {33, 45, 135, 225, 315, -33.3, 1e9, 1e300,
                                 std::numeric_limits<double>::quiet_NaN(),
                                 std::numeric_limits<double>::infinity()});
    std::uniform_real_distribution<double> any(-1000, 1000);
    for (int i = 0; i < 400; ++i)
        angles.push_back(any(random));
    return angles;
}

// Points: the corners of ordinary lines, coordinates anywhere in 32 bits, and the extremes.
std::vector<TPoint> SamplePoints(std::mt19937& random) {
    std::vector<TPoint> points;
    const int32_t edges[] = {kMin, kMin + 1, -1, 0, 1, kMax - 1, kMax};
    for (int32_t x : edges)
        for (int32_t y : edges)
            points.push_back({x, y});
    std::uniform_int_distribution<int32_t> small(-5000, 5000), any(kMin, kMax);
    for (int i = 0; i < 60; ++i)
        points.push_back({small(random), small(random)});
    for (int i = 0; i < 60; ++i)
        points.push_back({any(random), any(random)});
    return points;
}

TEST(CornerPlacement, EqualsTheDefinitionAtEveryAngle) {
    std::mt19937 random(20240601);
    const std::vector<double> angles = SampleAngles(random);
    const std::vector<TPoint> points = SamplePoints(random);
    const TPoint origins[] = {{0, 0}, {94, 0}, {0, 49}, {-7, 16}, {kMax, kMin}};
    size_t compared = 0;
    for (double degrees : angles) {
        const double alpha = Radians(degrees);
        for (const TPoint& origin : origins) {
            const TCornerPlacement placement(alpha, origin);
            for (const TPoint& p : points) {
                const std::optional<TPoint> defined = DefinedPlacement(p, alpha, origin);
                const std::optional<TPoint> placed = Caught([&] { return placement.Place(p); });
                const std::optional<TPoint> plain = Caught([&] {
                    return TBarcodeEngine::OffsetPoint(TBarcodeEngine::RotatePoint(p, alpha),
                                                       origin);
                });
                if (placed != defined || plain != defined) {
                    ADD_FAILURE() << degrees << " degrees, (" << p.X << ", " << p.Y << ") from ("
                                  << origin.X << ", " << origin.Y << "): defined "
                                  << Describe(defined) << ", placed " << Describe(placed)
                                  << ", plain " << Describe(plain);
                    return;
                }
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 300'000u);
}

} // namespace
} // namespace quillax
