// Every sender's set-points end at the session's one door: whoever asks, the
// same values within the model's range and the user's limits go out, and
// the same ones past them, while tripped or with no model, are refused with
// the door's reason and nothing reaches the line. A zero always passes.

#include "remote/scpi_client.h"
#include "support/control_line.h"
#include "support/files.h"
#include "support/print_qt.h"
#include "support/session_on_fake_line.h"

#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::SessionOnFakeLine;

enum class Condition { Within, PastModelRange, PastUserLimit, Tripped, NoModel };

struct Setting {
    Condition condition;
    const char* name;
    QStringList stored;
    const char* volts; // as a control file writes it, and remote control reads it
    const char* amps;
    DoorAnswer::Verdict verdict;
};

const Setting kSettings[] = {
    {Condition::Within, "within", {}, "05.0", "0.40", DoorAnswer::Verdict::Queued},
    {Condition::PastModelRange,
     "past the model's range",
     {},
     "25.0",
     "0.40",
     DoorAnswer::Verdict::PastModelRange},
    {Condition::PastUserLimit,
     "past the user's limit",
     {"Limits/MaxU_1000=10000"},
     "12.0",
     "0.40",
     DoorAnswer::Verdict::PastUserLimit},
    {Condition::Tripped,
     "tripped",
     {"Protection/OCP_mA=300"},
     "05.0",
     "0.40",
     DoorAnswer::Verdict::Tripped},
    {Condition::NoModel,
     "no model",
     {"Netzteil/NLI=1500"},
     "05.0",
     "0.40",
     DoorAnswer::Verdict::NoModel},
};

// How a sender asks for the set-points of a setting.
struct Sender {
    const char* name;
    SetpointSource source;
    /// Asks; what refused it before it reached the door, if anything did
    /// (a playback does not start while tripped).
    std::function<QString(SessionOnFakeLine&, const Setting&, const QString& folder)> ask;
    bool zeroes = false; // what it asks is the zero, whatever the setting says
};

Setpoints Asked(const Setting& s) {
    return {MillivoltsFromVolts(QByteArray(s.volts).toDouble()),
            MilliampsFromAmperes(QByteArray(s.amps).toDouble())};
}

const Sender kSenders[] = {
    {"Set values", SetpointSource::SetValues,
     [](SessionOnFakeLine& u, const Setting& s, const QString&) {
         u.session->unit().request(SetpointSource::SetValues, Asked(s));
         return QString();
     }},
    {"a control file", SetpointSource::Playback,
     [](SessionOnFakeLine& u, const Setting& s, const QString& folder) {
         const QString path = folder + "/run.dat";
         test::WriteFile(path, test::ControlLine(QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5)),
                                                 (QByteArray(s.volts) + 'V').constData(),
                                                 (QByteArray(s.amps) + 'A').constData()));
         return u.session->startPlayback(path).refusal;
     }},
    {"remote control", SetpointSource::Remote,
     [](SessionOnFakeLine& u, const Setting& s, const QString&) {
         ScpiClient client(*u.session);
         client.takeLine({"APPL " + QByteArray(s.volts) + ',' + s.amps, false});
         u.clock.advanceMs(200);
         return QString();
     }},
    {"Zero output", SetpointSource::ZeroOutput,
     [](SessionOnFakeLine& u, const Setting&, const QString&) {
         u.session->unit().request(SetpointSource::ZeroOutput, {});
         return QString();
     },
     true},
};

TEST(Door, EverySenderMeetsTheSameRules) {
    QTemporaryDir folder;
    for (const Sender& sender : kSenders) {
        for (const Setting& setting : kSettings) {
            SCOPED_TRACE(std::string(sender.name) + ", " + setting.name);
            SessionOnFakeLine unit(setting.stored);
            if (setting.condition == Condition::Tripped) {
                for (int i = 0; i < 3; ++i)
                    unit.feedFrame("050", "040");
                ASSERT_TRUE(unit.session->tripped());
            }
            unit.clock.advanceMs(200);
            unit.line->clearWrites();
            QList<std::pair<SetpointSource, DoorAnswer>> refused;
            QObject::connect(&unit.session->unit(), &UnitControl::refused,
                             [&](SetpointSource source, const DoorAnswer& answer) {
                                 refused.append({source, answer});
                             });
            const QString refusedBefore = sender.ask(unit, setting, folder.path());
            unit.clock.advanceMs(2000);
            const bool passes = sender.zeroes || setting.verdict == DoorAnswer::Verdict::Queued;
            const QByteArray command =
                sender.zeroes ? QByteArray("000\r000\r")
                              : BuildSetpointCommand(unit.session->unit().model(), Asked(setting));
            EXPECT_EQ(unit.written(), passes ? command : QByteArray());
            if (passes) {
                EXPECT_TRUE(refused.isEmpty());
                continue;
            }
            if (!refusedBefore.isEmpty()) {
                EXPECT_TRUE(refused.isEmpty());
                EXPECT_EQ(refusedBefore, unit.session->tripText());
                continue;
            }
            ASSERT_EQ(refused.size(), 1);
            EXPECT_EQ(refused[0].first, sender.source);
            EXPECT_EQ(refused[0].second.verdict, setting.verdict);
            // The same reason, whoever asked.
            const DoorAnswer direct = unit.session->unit().request(sender.source, Asked(setting));
            EXPECT_EQ(refused[0].second.reason, direct.reason);
        }
    }
}

} // namespace
} // namespace velmora
