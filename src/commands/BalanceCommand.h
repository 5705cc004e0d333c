#pragma once

#include <array>

namespace ondril {

// A remote command is ESC followed by one lower-case letter. The hex texts are
// shown as they stand, not computed from the bytes.
struct BalanceCommand {
    const char *caption;
    char letter;
    const char *letterHex;
};

inline constexpr char escape = 0x1B;
inline constexpr const char *escapeHex = "1B";

// In the order of the buttons Command2 to Command6.
inline constexpr std::array<BalanceCommand, 5> balanceCommands{{
    {"PRINT", 'p', "70"},
    {"CAL", 'q', "71"},
    {"COUNT", 'r', "72"},
    {"UNIT", 's', "73"},
    {"TARE", 't', "74"},
}};

inline constexpr const BalanceCommand &printCommand = balanceCommands[0];

} // namespace ondril
