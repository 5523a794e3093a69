// The two-channel peak meter in the main window's control 1004.
#pragma once

#include <windows.h>

#include <atomic>

namespace ombrel {

// Left and right peak magnitudes on the 16-bit scale (0 to 32768) of the latest block.
struct PeakLevels {
    std::atomic<LONG> left{0};
    std::atomic<LONG> right{0};
};
extern PeakLevels _peakLevels;

// Audio thread, every block: takes the block's peaks. Allocates nothing, takes no lock.
void ComputePeaks(const void* samples, int frames, int bitsPerSample, int channels) noexcept;

// Main window set-up and destruction: the segmented gradient the bars are copied from.
void BuildGradientImage(HWND mainWindow);
void DestroyGradientImage();

// Meter thread: one drawing pass with the two attenuations in dB (0 or more).
void DrawMeter(double leftAttenuation, double rightAttenuation);

}  // namespace ombrel
