// Animator code from any bytes. Every line either fails as a whole with the conversion message
// or gives one statement per ";" of the line, whose names are lower case, at most 25
// characters, hold no "(" or ")" and read back from their plain written form; the enclosing
// characters and letter case play no part. Run by a screen tick after tick, the code moves the
// scroll references by low bytes, sets intensity, delay and the current line as its statements
// say, keeps the current line within the code, and a line that fails changes nothing.
//
// Input: byte 0 picks the number of ticks (bits 0-3), whether the animation repeats (bit 4)
// and the first current line (bits 5-7, from -2); the rest is the code's text.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/message_box.h"
#include "fuzz_check.h"
#include "widgets/lcd/dot_renderer.h"
#include "widgets/lcd/lcd_lines.h"
#include "widgets/lcd/lcd_screen_model.h"
#include "widgets/lcd/lcd_script.h"

namespace {

using namespace vesmera;

constexpr std::string_view kConversionTail = "'' is not a valid integer value";

// What one parse gave: the statements, or the conversion message.
struct Outcome {
    std::optional<std::vector<ScriptStatement>> statements;
    std::string error;
    bool operator==(const Outcome&) const = default;
};

Outcome Parse(std::string_view line) {
    try {
        return {ParseScriptLine(line), {}};
    } catch (const EConvertError& e) {
        return {std::nullopt, e.Message()};
    }
}

std::string WithLetterCase(std::string_view line, bool upper) {
    std::string out(line);
    // The enclosing characters are kept: they are dropped before the case is folded.
    for (std::size_t i = 1; i + 1 < out.size(); ++i) {
        const char c = out[i];
        if (upper && c >= 'a' && c <= 'z')
            out[i] = static_cast<char>(c - 'a' + 'A');
        if (!upper && c >= 'A' && c <= 'Z')
            out[i] = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

void CheckLine(std::string_view line) {
    const Outcome outcome = Parse(line);
    FUZZ_CHECK(Parse(line) == outcome, "parsing a line is deterministic");
    FUZZ_CHECK(Parse(WithLetterCase(line, true)) == outcome &&
                   Parse(WithLetterCase(line, false)) == outcome,
               "letter case plays no part");
    if (line.size() >= 2 && line.front() != ';' && line.back() != ';') {
        std::string enclosed(line);
        enclosed.front() = '[';
        enclosed.back() = ']';
        FUZZ_CHECK(Parse(enclosed) == outcome, "the enclosing characters go unexamined");
    }

    const auto semicolons = std::count(line.begin(), line.end(), ';');
    const std::string_view inner = line.size() >= 2 ? line.substr(1, line.size() - 2) : "";
    if (std::count(inner.begin(), inner.end(), ';') < semicolons)
        FUZZ_CHECK(!outcome.statements, "a ';' among the enclosing characters leaves a "
                                        "statement without text");

    if (!outcome.statements) {
        FUZZ_CHECK(outcome.error.starts_with("''") && outcome.error.ends_with(kConversionTail),
                   "a failure is the conversion message");
        return;
    }
    const std::vector<ScriptStatement>& statements = *outcome.statements;
    FUZZ_CHECK(static_cast<long long>(statements.size()) == semicolons,
               "one statement per ';' of the line");
    std::string written = "[";
    bool writable = true;
    for (const ScriptStatement& s : statements) {
        FUZZ_CHECK(s.Name.size() <= ScriptStatement::kMaxNameLength, "a name has at most 25");
        FUZZ_CHECK(s.Name.find_first_of("()") == std::string::npos &&
                       std::none_of(s.Name.begin(), s.Name.end(),
                                    [](char c) { return c >= 'A' && c <= 'Z'; }),
                   "a name is lower case and holds no parenthesis");
        FUZZ_CHECK(s.Name.empty() || !IsBlank(s.Name.front()), "a name has no leading blank");
        // A cut name may end in a blank that its written form would lose.
        writable = writable && (s.Name.empty() || !IsBlank(s.Name.back()));
        written += s.Name + "(" + std::to_string(s.Argument) + ");";
    }
    written += "]";
    if (writable)
        FUZZ_CHECK(Parse(written) == outcome, "the statements read back from their written form");
}

class FlatRenderer final : public ILinesRenderer {
public:
    // Every character a solid block of 3 x 5 dots, so the wrap-around has a width to work with.
    MonoImage Render(const Display& display, const TLCDFont&, TSpecialEffects, bool) override {
        int longest = 0;
        for (int r = 0; r < display.LineCount(); ++r) {
            int c = 1;
            while (c < Display::kColumns && display.At(r, c).Char)
                ++c;
            longest = std::max(longest, c - 1);
        }
        MonoImage image(longest * 3, display.LineCount() * 5);
        for (int y = 0; y < image.Height(); ++y)
            for (int x = 0; x < image.Width(); ++x)
                image.SetDark(x, y, true);
        return image;
    }
};

struct TimerState {
    std::uint32_t interval = 0;
    bool enabled = false;
};

class RecordingTimer final : public IAnimationTimer {
public:
    explicit RecordingTimer(TimerState& state) : state_(state) {}
    void SetInterval(std::uint32_t ms) override { state_.interval = ms; }
    void SetEnabled(bool enabled) override { state_.enabled = enabled; }

private:
    TimerState& state_;
};

// The screen and animator state a tick changes, as the statements should change it.
struct Expected {
    std::int32_t h = 0;
    std::int32_t v = 0;
    std::int8_t intensity = 127;
    std::uint32_t delay = 30;
    std::int16_t line = 0;
    bool enabled = true;
    bool blinking = false;
    int endCodes = 0;
};

std::int8_t LowByte(std::int32_t value) {
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(value & 0xFF));
}

// The current-line rule: above the number of lines becomes the last line (not below 0).
std::int16_t Clamped(int value, int count) {
    if (value > count)
        value = std::max(count - 1, 0);
    return static_cast<std::int16_t>(value);
}

void RunTicks(const std::vector<std::string>& code, std::uint8_t config) {
    TimerState timer;
    TLCDScreenModel screen(std::make_unique<FlatRenderer>(),
                           std::make_unique<RecordingTimer>(timer));
    TLCDAnimator animator;
    std::vector<MessageBoxRequest> boxes;
    const MessageBoxHandler previous = SetMessageBoxHandler([&boxes](const MessageBoxRequest& r) {
        boxes.push_back(r);
        return MessageResult::Ok;
    });
    int endCodes = 0;
    std::vector<std::uint16_t> executed;
    animator.OnEndCode = [&](TLCDAnimator&) { ++endCodes; };
    animator.OnLineExecuted = [&](TLCDAnimator&, std::uint16_t n) { executed.push_back(n); };
    animator.SetCode(code);
    screen.SetLCDAnimator(&animator);
    screen.Lines().SetText("scroll");
    screen.SetAnimationDelay(30);
    screen.SetAnimationRepeating((config & 0x10) != 0);
    screen.SetAnimationEnabled(true);
    const int count = animator.LineCount();
    animator.SetCurrentLine((config >> 5) - 2);

    Expected e;
    e.line = animator.CurrentLine();
    const int ticks = 1 + (config & 0x0F);
    for (int tick = 0; tick < ticks; ++tick) {
        const std::size_t boxesBefore = boxes.size();
        const std::size_t executedBefore = executed.size();
        screen.TimerTick();
        if (e.enabled) {
            const std::string line = e.line >= 0 && e.line < count
                                         ? code[static_cast<std::size_t>(e.line)]
                                         : std::string();
            const Outcome outcome = Parse(line);
            if (!outcome.statements) {
                FUZZ_CHECK(boxes.size() == boxesBefore + 1 &&
                               boxes.back().text == WithFullStop(outcome.error),
                           "a failing line shows its conversion message");
            } else {
                for (const ScriptStatement& s : *outcome.statements) {
                    if (s.Name == "horzscroll")
                        e.h = AddWrapping(e.h, LowByte(s.Argument));
                    else if (s.Name == "vertscroll")
                        e.v = AddWrapping(e.v, LowByte(s.Argument));
                    else if (s.Name == "setintensity")
                        e.intensity = LowByte(s.Argument);
                    else if (s.Name == "animationdelay")
                        e.delay = static_cast<std::uint32_t>(s.Argument);
                    else if (s.Name == "gotoline")
                        e.line = Clamped(
                            std::min<int>(static_cast<std::int16_t>(s.Argument & 0xFFFF), count),
                            count);
                    else if (s.Name == "resetdisplay")
                        e.h = e.v = 0;
                }
                FUZZ_CHECK(executed.size() == executedBefore + 1 &&
                               executed.back() == static_cast<std::uint16_t>(e.line),
                           "the executed line is the current line after its statements");
                if (e.line == count - 1) {
                    e.line = 0;
                    e.enabled = screen.AnimationRepeating();
                    ++e.endCodes;
                } else {
                    e.line = Clamped(e.line + 1, count);
                }
                e.blinking = !e.blinking;
            }
        }
        FUZZ_CHECK(boxes.size() <= boxesBefore + 1, "at most one message a tick");
        FUZZ_CHECK(screen.PixHRef() == e.h && screen.PixVRef() == e.v,
                   "the scroll references move by the low bytes");
        FUZZ_CHECK(screen.Intensity() == e.intensity, "setintensity takes the low byte");
        FUZZ_CHECK(screen.AnimationDelay() == e.delay && timer.interval == e.delay,
                   "animationdelay sets the timer interval");
        FUZZ_CHECK(animator.CurrentLine() == e.line, "the current line follows the rules");
        FUZZ_CHECK(animator.CurrentLine() >= -32767 &&
                       animator.CurrentLine() <= std::max(count - 1, 0),
                   "after a tick the current line lies within the code or before it");
        FUZZ_CHECK(screen.AnimationEnabled() == e.enabled && timer.enabled == e.enabled,
                   "only the end of code without repeating stops the animation");
        FUZZ_CHECK(screen.BlinkingStatus() == e.blinking, "a tick that runs toggles blinking");
        FUZZ_CHECK(endCodes == e.endCodes, "the end of code is told after the last line");
    }

    // The references the script left, however far, compose into a picture of the size the
    // screen had; the geometry step then snaps the size, and the next picture keeps it.
    const int width = 60 + (config & 0x3F), height = 20 + (config >> 3);
    screen.SetSize(width, height);
    const RgbImage first = screen.Compose(true);
    FUZZ_CHECK(first.Width() == width && first.Height() == height, "a picture of the screen");
    const int snappedWidth = screen.Width(), snappedHeight = screen.Height();
    const RgbImage second = screen.Compose(true);
    FUZZ_CHECK(second.Width() == snappedWidth && second.Height() == snappedHeight &&
                   screen.Width() == snappedWidth && screen.Height() == snappedHeight,
               "a snapped size stays");
    SetMessageBoxHandler(previous);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string text(fuzz::AsText(data + 1, size - 1));
    const std::vector<std::string> code = SplitLines(text);
    for (const std::string& line : code)
        CheckLine(line);
    // Line breaks and NULs inside one line, too.
    CheckLine(text);
    RunTicks(code, data[0]);
    return 0;
}
