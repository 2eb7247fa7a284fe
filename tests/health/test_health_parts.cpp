// Parts of the health figures: the scales kept in Zento.ini, the sphere fit and its coverage.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "health/health_settings.h"
#include "health/sphere_fit.h"
#include "test_folder.h"

using namespace zento;

TEST(HealthScalesText, ParsesPositiveDecimalsOnly) {
    const struct {
        const char* text;
        std::optional<double> want;
    } cases[] = {
        {"16.4", 16.4}, {"16384", 16384.0}, {" 1090\t", 1090.0}, {"0.5", 0.5},  {"1000000", 1e6},
        {"16,4", {}},   {"", {}},           {"0", {}},           {"-16.4", {}}, {"+16.4", {}},
        {"1e3", {}},    {"1000001", {}},    {"nan", {}},         {"inf", {}},   {"16.4x", {}},
        {"1 6", {}},    {"0.001", 1e-3},    {"0.00099", {}}};
    for (const auto& c : cases)
        EXPECT_EQ(parse_scale(c.text), c.want) << '"' << c.text << '"';
    for (double v : {16.4, 16384.0, 1090.0, 0.1, 32.8, 1e-3})
        EXPECT_EQ(parse_scale(scale_text(v)), v) << scale_text(v);
    EXPECT_EQ(scale_text(16.4), "16.4");
    EXPECT_EQ(scale_text(16384), "16384");
    EXPECT_EQ(scale_text(1e-70), "1e-70") << "too long in fixed form";
}

TEST(HealthScalesFile, ReadsWritesAndReportsBadValues) {
    zento_test::TempDir tmp;
    const std::filesystem::path ini = tmp / "Zento.ini";
    // No file, no section: the defaults, nothing to say.
    HealthScalesRead r = read_health_scales(ini);
    EXPECT_EQ(r.scales, HealthScales{});
    EXPECT_EQ(r.problem, "");

    // Written beside the port settings, which stay as they were.
    tmp.put("Zento.ini", "[COM]\r\nPort=3\r\nSettings=9600,n,8,1\r\n");
    HealthScales s;
    s.accel_counts_per_g = 8192;
    s.gyro_counts_per_dps = 32.8;
    s.mag_counts_per_gauss = 1370;
    ASSERT_TRUE(write_health_scales(ini, s).ok);
    EXPECT_EQ(zento_test::read_text(ini),
              "[COM]\r\nPort=3\r\nSettings=9600,n,8,1\r\n[Health]\r\nAccelCountsPerG=8192\r\n"
              "GyroCountsPerDps=32.8\r\nMagCountsPerGauss=1370\r\n");
    r = read_health_scales(ini);
    EXPECT_EQ(r.scales, s);
    EXPECT_EQ(r.problem, "");

    // A value that is not a number gives its default and one line naming each bad key; the
    // good key is kept.
    tmp.put("Zento.ini", "[Health]\nAccelCountsPerG=abc\nGyroCountsPerDps=16,4\n"
                         "MagCountsPerGauss=1370\n");
    r = read_health_scales(ini);
    EXPECT_EQ(r.scales.accel_counts_per_g, 16384.0);
    EXPECT_EQ(r.scales.gyro_counts_per_dps, 16.4);
    EXPECT_EQ(r.scales.mag_counts_per_gauss, 1370.0);
    EXPECT_EQ(r.problem, "Zento.ini: [Health] AccelCountsPerG \"abc\" is not a number from 0.001 "
                         "to 1000000; using 16384; GyroCountsPerDps \"16,4\" is not a number "
                         "from 0.001 to 1000000; using 16.4");

    // A file that cannot be written: the reason comes back, nothing is lost.
    const std::filesystem::path folder = tmp / "folder.ini";
    std::filesystem::create_directory(folder);
    const IniWriteResult w = write_health_scales(folder, s);
    EXPECT_FALSE(w.ok);
    EXPECT_NE(w.error.find("folder.ini"), std::string::npos) << w.error;
}

namespace {
// Points on a sphere, directions within `cap` radians of +Z, with noise.
std::vector<Vec3d> sphere_points(const Vec3d& c, double r, double cap, double noise, int n) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(0, 1);
    std::normal_distribution<double> g(0, noise > 0 ? noise : 1);
    std::vector<Vec3d> out;
    for (int i = 0; i < n; ++i) {
        const double z = 1 - u(rng) * (1 - std::cos(cap)), a = 2 * std::numbers::pi * u(rng);
        const double s = std::sqrt(1 - z * z);
        out.push_back({c[0] + r * s * std::cos(a) + (noise > 0 ? g(rng) : 0),
                       c[1] + r * s * std::sin(a) + (noise > 0 ? g(rng) : 0),
                       c[2] + r * z + (noise > 0 ? g(rng) : 0)});
    }
    return out;
}
} // namespace

TEST(SphereFit, FindsCentreAndRadiusFromPartOfTheSphere) {
    const Vec3d c{300, -200, 150};
    const struct {
        double cap, noise, tolerance, coverage;
    } cases[] = {
        {std::numbers::pi, 0, 1e-6, 1.0},      // the whole sphere, exact
        {std::numbers::pi / 2, 0, 1e-6, 0.56}, // a hemisphere (and the cells its edge cuts)
        {std::numbers::pi, 3, 1.0, 1.0},       // noisy
        {std::numbers::pi / 2, 3, 2.0, 0.56},
    };
    for (const auto& k : cases) {
        const auto f = fit_sphere(sphere_points(c, 545, k.cap, k.noise, 2000));
        ASSERT_TRUE(f.has_value()) << k.cap;
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(f->center[i], c[i], k.tolerance) << k.cap << " axis " << i;
        EXPECT_NEAR(f->radius, 545, k.tolerance);
        EXPECT_NEAR(f->residual, k.noise, 0.2 * k.noise + 1e-6);
        EXPECT_NEAR(f->coverage, k.coverage, 0.07) << k.cap;
    }
    // Points that fix no sphere: too few, or all on one circle.
    EXPECT_FALSE(fit_sphere(sphere_points(c, 545, 1.0, 0, 7)).has_value());
    std::vector<Vec3d> ring;
    for (int i = 0; i < 100; ++i)
        ring.push_back({c[0] + 545 * std::cos(i * 0.1), c[1] + 545 * std::sin(i * 0.1), c[2]});
    EXPECT_FALSE(fit_sphere(ring).has_value());
    EXPECT_NEAR(direction_coverage(ring, c), 0.2, 0.15); // a band around the equator
}
