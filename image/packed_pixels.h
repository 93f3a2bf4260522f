#pragma once
// Palette indices packed into a row at 1, 4 or 8 bits per pixel (left pixel in the high bits).

#include <cstdint>

inline uint8_t IndexAt(const uint8_t* row, uint32_t x, uint32_t bits) {
    switch (bits) {
        case 8:
            return row[x];
        case 4:
            return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
        default:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

inline void PutIndex(uint8_t* row, uint32_t x, uint32_t bits, uint8_t index) {
    switch (bits) {
        case 8:
            row[x] = index;
            break;
        case 4: {
            uint8_t& cell = row[x >> 1];
            cell = (x & 1) ? static_cast<uint8_t>((cell & 0xF0) | (index & 0x0F))
                           : static_cast<uint8_t>((cell & 0x0F) | (index << 4));
            break;
        }
        default: {
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
            row[x >> 3] = (index & 1) ? static_cast<uint8_t>(row[x >> 3] | mask)
                                      : static_cast<uint8_t>(row[x >> 3] & ~mask);
            break;
        }
    }
}
