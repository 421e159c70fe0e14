#include "host/analysis/real_fft.h"

#include <math.h>

#include <string>

#include "host/base/host_error.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
}

RealFft::RealFft(int n) : n_(n) {
    if (n < 4 || (n & (n - 1)) != 0)
        throw HostError(Fault::kFailure, "cannot set up the sound analysis (FFT of " + std::to_string(n) + ")");
    const int m = n / 2;
    int bits = 0;
    while ((1 << bits) < m) ++bits;
    reversed_.resize(m);
    for (int i = 0; i < m; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
        reversed_[i] = r;
    }
    cosine_.resize(m);
    sine_.resize(m);
    for (int k = 0; k < m; ++k) {
        cosine_[k] = cos(2 * kPi * k / n);
        sine_[k] = -sin(2 * kPi * k / n);
    }
    re_.resize(m);
    im_.resize(m);
}

void RealFft::Power(const float* signal, float* power) {
    const int m = n_ / 2;
    // The even samples as the real parts, the odd ones as the imaginary, in
    // bit-reversed order.
    for (int j = 0; j < m; ++j) {
        re_[reversed_[j]] = signal[2 * j];
        im_[reversed_[j]] = signal[2 * j + 1];
    }
    // Radix-2 butterflies over m points; the twiddle of a span s is
    // e^(-2 pi i t / s) = W^(t n / s), W = e^(-2 pi i / n).
    for (int span = 2; span <= m; span *= 2) {
        const int half = span / 2, stride = n_ / span;
        for (int start = 0; start < m; start += span)
            for (int t = 0; t < half; ++t) {
                const double wr = cosine_[t * stride], wi = sine_[t * stride];
                const int a = start + t, b = a + half;
                const double br = re_[b] * wr - im_[b] * wi, bi = re_[b] * wi + im_[b] * wr;
                re_[b] = re_[a] - br;
                im_[b] = im_[a] - bi;
                re_[a] += br;
                im_[a] += bi;
            }
    }
    // The real signal's bins from the m complex ones: with A = Z[k] and
    // B = conj(Z[m - k]), X[k] = (A + B) / 2 - i W^k (A - B) / 2.
    power[0] = static_cast<float>((re_[0] + im_[0]) * (re_[0] + im_[0]));
    power[m] = static_cast<float>((re_[0] - im_[0]) * (re_[0] - im_[0]));
    for (int k = 1; k < m; ++k) {
        const double ar = re_[k], ai = im_[k], br = re_[m - k], bi = -im_[m - k];
        const double er = (ar + br) / 2, ei = (ai + bi) / 2;
        const double dr = (ar - br) / 2, di = (ai - bi) / 2;
        // -i (dr + i di) = di - i dr, times W^k.
        const double orr = di, oi = -dr;
        const double wr = cosine_[k], wi = sine_[k];
        const double xr = er + orr * wr - oi * wi, xi = ei + orr * wi + oi * wr;
        power[k] = static_cast<float>(xr * xr + xi * xi);
    }
}
