#pragma once
// Presses on the panel's adjust buttons now and then, each held to the
// command it must bring the unit within two seconds of the release.

#include "soak/soak_rig.h"

#include <QString>
#include <array>
#include <string>
#include <vector>

namespace velmora::soak {

/// One press: which button (1..8) and how long the finger stays on it.
struct Press {
    int button;
    int holdMs;
};

// Up and down by every step size, from the set-points the playback left; a
// step past 0 or the model's range is not taken.
constexpr std::array<Press, 9> kPressCycle{
    {{2, 80}, {1, 80}, {5, 80}, {1, 750}, {6, 80}, {2, 80}, {5, 750}, {2, 750}, {6, 750}}};

constexpr std::chrono::milliseconds kResponseLimit{2000};
/// The control file's records come this far apart: a press made just after
/// one has its own command at the unit long before the next.
constexpr int kRecordSpacingS = 4;

/// What the presses found out.
struct PressFigures {
    int presses = 0;
    std::vector<long long> latenciesMs;
    std::vector<std::size_t> answers; // the indexes of the presses' commands at the unit
    std::vector<std::string> faults;
};

/// The panel's set-points as the steps of its buttons leave them (1A/20V:
/// 20 V and 1 A at most; a step past a bound is not taken at all).
class Adjuster {
  public:
    void step(int button) {
        const int sign = button % 2 == 1 ? 1 : -1;
        int& value = button <= 4 ? mV_ : mA_;
        const int size = (button <= 4 ? (button <= 2 ? 1000 : 100) : (button <= 6 ? 100 : 10));
        const int limit = button <= 4 ? 20000 : 1000;
        if (sign > 0 ? value <= limit - size : value >= size) value += sign * size;
    }
    QByteArray fields() const {
        return QByteArray::number(mV_ / 100).rightJustified(3, '0') + ' ' +
               QByteArray::number(mA_ / 5).rightJustified(3, '0');
    }
    // After a mismatch the panel's own values are the ones to go on from.
    void takeFrom(const QByteArray& fields) {
        mV_ = fields.mid(0, 3).toInt() * 100;
        mA_ = fields.mid(4, 3).toInt() * 5;
    }

  private:
    int mV_ = 0;
    int mA_ = 0;
};

inline QString ButtonName(int button) {
    return QStringLiteral("Command%1").arg(button);
}

/// Pixel centre of adjust button `button` on the panel.
inline std::pair<int, int> ButtonCentre(int button) {
    const int column = button <= 4 ? 0 : 1;
    const int row = (button - 1) % 4;
    return {e2e::kPlusOneVoltX + column * (e2e::kPlus100mAX - e2e::kPlusOneVoltX),
            e2e::kPlusOneVoltY + row * 40};
}

/// Presses, holds and releases `press` just after a playback command, then
/// waits for the press's own: that command stepped as the button steps.
inline void PressAndCheck(SoakRig& rig, Adjuster& adjuster, const Press& press,
                          const std::string& phase, PressFigures& figures) {
    const auto [x, y] = ButtonCentre(press.button);
    const std::size_t seen = rig.commands().size();
    rig.pumpUntil([&] { return rig.commands().size() > seen; },
                  std::chrono::seconds(kRecordSpacingS + 1));
    // The buttons step the set-points in force, the last command sent.
    if (!rig.commands().empty()) adjuster.takeFrom(rig.commands().back().fields);
    const std::size_t before = rig.commands().size();
    ++figures.presses;
    const std::string what = phase + ": " + ButtonName(press.button).toStdString() + " held " +
                             std::to_string(press.holdMs) + " ms";
    if (!e2e::Press(rig.window(), x, y)) {
        figures.faults.push_back(what + ": xdotool could not press");
        return;
    }
    rig.pump(std::chrono::milliseconds(press.holdMs));
    e2e::Release();
    const auto released = Clock::now();
    for (int s = 0; s < 1 + press.holdMs / 500; ++s)
        adjuster.step(press.button);
    const QByteArray expected = adjuster.fields();

    // The next playback record is seconds away: the next command is the answer.
    if (!rig.pumpUntil([&] { return rig.commands().size() > before; }, kResponseLimit + 1500ms)) {
        figures.faults.push_back(what + ": no command at the unit within 3.5 s");
        return;
    }
    figures.answers.push_back(before);
    const std::optional<SeenCommand> answer = rig.commands()[before];
    const long long ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(answer->at - released).count();
    figures.latenciesMs.push_back(ms);
    if (ms > kResponseLimit.count())
        figures.faults.push_back(what + ": the command came " + std::to_string(ms) +
                                 " ms after the release");
    if (answer->fields != expected) {
        figures.faults.push_back(what + ": the unit got " + answer->fields.toStdString() +
                                 ", not " + expected.toStdString());
        adjuster.takeFrom(answer->fields);
    }
}

} // namespace velmora::soak
