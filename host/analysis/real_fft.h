// real_fft.h - the analysis's Fourier transform: the power spectrum of a
// real signal whose length is a power of two.
//
// One plain implementation for every build (native, Windows, WebAssembly),
// so a sound gives the same levels in every host: no library of the
// platform's, and nothing that depends on the CPU's vector units. The
// arithmetic is IEEE double throughout (a radix-2 transform of n / 2
// complex points, then the split into the real signal's bins), so builds
// differ only where their maths libraries round a twiddle factor apart, far
// below what a float power keeps.
//
// The data contract: `signal` is n floats; `power` receives n / 2 + 1
// floats, |X[k]|^2 for k = 0 .. n / 2, where X[k] = sum_j x[j] e^(-2 pi i j k / n)
// (no scaling). Nothing is allocated per call.
#ifndef LUMAGROVE_REAL_FFT_H
#define LUMAGROVE_REAL_FFT_H

#include <vector>

class RealFft {
public:
    // `n` a power of two, 4 or more (HostError (a failure) otherwise).
    explicit RealFft(int n);
    int size() const { return n_; }
    void Power(const float* signal, float* power);

private:
    int n_;
    std::vector<int> reversed_;          // bit reversal of the n / 2 points
    std::vector<double> cosine_, sine_;  // e^(-2 pi i k / n), k < n / 2
    std::vector<double> re_, im_;        // the n / 2 complex points
};

#endif
