#pragma once

// A device message: "$", 130 characters and a two-digit decimal checksum.
constexpr int messageLength = 133;

// The device's name field, positions 4 to 35 counted from 1; the daily files are named after it.
constexpr int nameFieldStart = 3;
constexpr int nameFieldLength = 32;

// The verdicts of settings_t::calcChks.
namespace verdict {
constexpr int accepted = 0;
constexpr int checksumError = 1;
constexpr int noLeadingDollar = 2;
constexpr int wrongLength = 3;
constexpr int controlCharacter = 4;
} // namespace verdict
