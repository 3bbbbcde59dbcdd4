#pragma once

#include <QChar>

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

// Unicode's control characters (category Cc): C0, DEL and C1. Every character of every message is
// checked, so this is the range itself rather than a look-up in Qt's character tables.
constexpr bool isControlCharacter(QChar character)
{
    const char16_t code = character.unicode();
    return code < 0x20 || (code >= 0x7f && code <= 0x9f);
}
