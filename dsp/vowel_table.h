// The ten vowels of the formant wah effect: the first three formant frequencies in hertz. The
// row is the value of the "Start/Middle/End Formant" parameters ("EE", "OO", "I", "U", "ER",
// "UH", "E", "OW", "AE", "A").
#pragma once

#include <cstdint>

namespace dsp {

inline constexpr std::uint32_t vowel_count = 10;

inline constexpr double vowel_table[vowel_count][3] = {
    {260.0, 3500.0, 3800.0},  // EE
    {300.0, 870.0, 2240.0},   // OO
    {390.0, 1990.0, 2550.0},  // I
    {440.0, 1020.0, 2240.0},  // U
    {490.0, 1350.0, 1690.0},  // ER
    {520.0, 1190.0, 2390.0},  // UH
    {530.0, 1840.0, 2480.0},  // E
    {570.0, 840.0, 2410.0},   // OW
    {660.0, 1720.0, 2410.0},  // AE
    {730.0, 1090.0, 2440.0},  // A
};

// Rows outside the table are held at its last row, so no caller can index past it.
inline constexpr std::uint32_t bounded_vowel_row(std::uint32_t row) noexcept {
    return row < vowel_count ? row : vowel_count - 1;
}

}  // namespace dsp
