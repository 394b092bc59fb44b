#pragma once
// mUtils: the free-standing routines of general use — field text encoding, shortcut
// placement and the message-pumping pause. Texts are code page 936 byte strings.

#include <cstdint>
#include <string>
#include <string_view>

// ---- Field text encoding (the SYSPARAMS values are stored only in this form) ----

// Two lower-case hexadecimal digits per byte: "abc" gives "616263".
std::string HexText(std::string_view text);
// The scrambled bytes in hexadecimal, two digits per input byte.
std::string ScrambleText(std::string_view text, std::uint16_t key);
// The key EncodeFieldText scrambles with; the payload tool's decoder uses it too.
inline constexpr std::uint16_t kFieldTextKey = 27541;
// Decimal expansion, code expansion, then ScrambleText with kFieldTextKey.
std::string EncodeFieldText(std::string_view text);

// ---- Shortcut placement ----

// The shell place that receives a shortcut. The ordinals are part of the interface: they
// never change.
enum class ShortcutPlace : std::uint8_t {
    Desktop = 0,
    QuickLaunch = 1,
    SendTo = 2,
    StartMenu = 3,
    Programs = 4,
};

// True when the path names an existing folder.
bool IsDirectory(const std::string& path);

// Places a shell link to targetPath in the folder of place (for Programs, in the group
// folder groupName below it). The link is named displayName, or after the target's file
// name when displayName is empty. Raises SetupError for COM and registry failures.
void CreateShortcut(const std::string& targetPath, ShortcutPlace place,
                    const std::string& groupName, const std::string& displayName);

// ---- The message-pumping pause ----

// What PumpDelay needs of the window system: the tick count, a drain of the pending
// messages that never waits, and a wait for the next message that costs no processor time.
class MessagePump {
public:
    virtual ~MessagePump() = default;
    // Milliseconds, wrapping at 2^32 (GetTickCount).
    virtual std::uint32_t TickCount() = 0;
    // Dispatches every pending message; never waits for one to arrive.
    virtual void PumpMessages() = 0;
    // Sleeps until a message arrives or ms milliseconds have passed, whichever is first.
    virtual void WaitForMessages(std::uint32_t ms) = 0;
};

// Pauses ms milliseconds while window messages keep being handled. The deadline is
// computed in unsigned 32-bit arithmetic and tested before the first pump, so 0 ms, and a
// deadline that wrapped past 2^32, return at once.
void PumpDelay(std::uint32_t ms, MessagePump& pump);
