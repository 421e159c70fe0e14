// The analysis's own FFT against the transform's definition, summed directly
// in double precision, on signals with no symmetry to hide a wrong twiddle or
// a swapped half; and the sizes it refuses.
#include <gtest/gtest.h>
#include <math.h>

#include <algorithm>
#include <random>
#include <vector>

#include "host/analysis/real_fft.h"
#include "host/base/host_error.h"

namespace {

std::vector<double> DirectPower(const std::vector<float>& x) {
    const int n = static_cast<int>(x.size());
    std::vector<double> power(n / 2 + 1);
    for (int k = 0; k <= n / 2; ++k) {
        double re = 0, im = 0;
        for (int j = 0; j < n; ++j) {
            const double angle = -2 * M_PI * static_cast<double>(j) * k / n;
            re += x[j] * cos(angle);
            im += x[j] * sin(angle);
        }
        power[k] = re * re + im * im;
    }
    return power;
}

TEST(RealFft, PowerIsTheTransformsAtEverySize) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (int n : {4, 8, 64, 1024, 4096}) {
        // Noise with a tone and a step: every bin differs from its mirror.
        std::vector<float> x(n);
        for (int j = 0; j < n; ++j)
            x[j] = 0.3f * uniform(random) + 0.5f * static_cast<float>(sin(2 * M_PI * 3.3 * j / n)) + (j < n / 3);
        RealFft fft(n);
        std::vector<float> power(n / 2 + 1, -1.0f);
        fft.Power(x.data(), power.data());
        const std::vector<double> expected = DirectPower(x);
        const double largest = *std::max_element(expected.begin(), expected.end());
        for (int k = 0; k <= n / 2; ++k)
            EXPECT_NEAR(power[k], expected[k], 1e-6 * largest + 1e-6 * expected[k]) << "n " << n << " bin " << k;
    }
}

TEST(RealFft, RefusesSizesThatAreNotPowersOfTwo) {
    for (int n : {0, 2, 6, 4095}) EXPECT_THROW(RealFft{n}, HostError) << n;
}

}  // namespace
