// Wi-Fi channel numbers and where each bin of a spectrum line lies.
#pragma once

#include <cstddef>
#include <cstdint>

// The 20 MHz channel centred at centre_mhz (2.4 GHz 1..14, 5 GHz 36..177,
// 6 GHz 1..233); 0 when centre_mhz is no channel's centre.
int channel_number(uint32_t centre_mhz);

// Bin i of n across width_mhz centred on freq_mhz: its centre and its low
// edge in MHz.
double bin_centre_mhz(uint32_t freq_mhz, uint32_t width_mhz, size_t i, size_t n);
double bin_low_mhz(uint32_t freq_mhz, uint32_t width_mhz, size_t i, size_t n);
