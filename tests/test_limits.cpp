// The user's own limits: nothing above a limit reaches the unit from any
// path, and a set-point above a new limit comes down to it at once.

#include "panel/setpoint_dialog.h"
#include "session/session.h"
#include "support/files.h"
#include "support/session_on_fake_line.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace literals;

using test::SessionOnFakeLine;

// Where the set-points are asked for.
enum class Path {
    Button,   // adjust button `button` pressed and released
    Typed,    // typed into the Set values dialog, then Send
    Shown,    // Send as the dialog shows them
    Playback, // one record of a control file, already due
    Call,     // the session's own call, as remote control makes it
};

struct Case {
    const char* name;
    Model model;
    Setpoints start;  // sent before the limits are set
    UserLimits limit; // set in the dialog: the box's value, then ticked
    Path path;
    int button;             // Path::Button
    Setpoints asks;         // Typed, Playback and Session
    QList<QByteArray> sent; // every command after the start's, a lowering included
    QString voltageNote = {};
    QString currentNote = {};
};

constexpr Model kSmall = Model::Small1A20V;
constexpr Model kLarge = Model::Large2A5_25V;
const QString k10V = QStringLiteral("set-point lowered to 10.0 V");
const QString k300mA = QStringLiteral("set-point lowered to 300 mA");

QList<QByteArray> Commands(const QByteArray& written) {
    QList<QByteArray> out;
    for (qsizetype at = 0; at < written.size(); at += 8)
        out.append(written.mid(at, 8));
    return out;
}

// A control file of one record, due long ago, asking for `values`.
QByteArray RecordOf(Setpoints values) {
    return QStringLiteral("#2020-01-02 03:04:05#,\"%1V\",\"%2A\"\r\n")
        .arg(values.voltage.value / 1000.0, 4, 'f', 1, QChar(u'0'))
        .arg(values.current.value / 1000.0, 0, 'f', 2)
        .toLatin1();
}

void Type(QAbstractSpinBox* box, const QString& text) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

// The limit as the arrow keys set it, then ticked.
void SetLimits(SetpointDialog& dialog, const UserLimits& limit) {
    if (limit.voltage) {
        dialog.voltageLimitBox->setValue(Volts(*limit.voltage));
        dialog.voltageLimitOn->setChecked(true);
    }
    if (limit.current) {
        dialog.currentLimitBox->setValue(limit.current->value);
        dialog.currentLimitOn->setChecked(true);
    }
}

void Ask(SessionOnFakeLine& s, SetpointDialog& dialog, const Case& c, const QString& folder) {
    Session& session = *s.session;
    switch (c.path) {
    case Path::Button:
        session.unit().pressAdjust(c.button);
        s.clock.advanceMs(100);
        session.unit().releaseAdjust();
        break;
    case Path::Typed:
        Type(dialog.voltageBox, QString::number(c.asks.voltage.value / 1000.0, 'f', 1));
        Type(dialog.currentBox, QString::number(c.asks.current.value));
        dialog.sendButton->click();
        break;
    case Path::Shown:
        dialog.sendButton->click();
        break;
    case Path::Playback: {
        const QString path = folder + QStringLiteral("/run.dat");
        ASSERT_TRUE(test::WriteFile(path, RecordOf(c.asks)));
        ASSERT_TRUE(session.startPlayback(path).started);
        break;
    }
    case Path::Call:
        session.unit().request(SetpointSource::Remote, c.asks);
        break;
    }
}

TEST(UserLimits, NothingAboveALimitGoesOutFromAnyPath) {
    using enum Path;
    const Setpoints v15 = {15000_mV, 500_mA}, i800 = {5000_mV, 800_mA},
                    v10i300 = {10000_mV, 300_mA};
    const UserLimits v10 = {10000_mV, {}}, i300 = {{}, 300_mA}, both = {10000_mV, 300_mA},
                     up = {12000_mV, 500_mA};
    const QByteArray to10V = "100\r100\r"; // 15.0 V 500 mA lowered to 10.0 V
    const QByteArray to300 = "050\r060\r"; // 5.0 V 800 mA lowered to 300 mA
    const QByteArray at = "100\r060\r";    // 10.0 V 300 mA
    const QByteArray to1A = "150\r100\r";  // 2,5A/25V: 15.0 V 1500 mA lowered to 1000 mA
    const QString k1A = QStringLiteral("set-point lowered to 1000 mA");
    const Setpoints v15i800 = {15000_mV, 800_mA}, v15i1500 = {15000_mV, 1500_mA};
    const UserLimits i1000 = {{}, 1000_mA};
    const Case cases[] = {
        // A limit below the set-point in force: it comes down and goes out.
        {"Below +1V", kSmall, v15, v10, Button, 1, {}, {to10V, to10V}, k10V},
        {"Below -1V", kSmall, v15, v10, Button, 2, {}, {to10V, "090\r100\r"}, k10V},
        {"Below +0.1V", kSmall, v15, v10, Button, 3, {}, {to10V, to10V}, k10V},
        {"Below -0.1V", kSmall, v15, v10, Button, 4, {}, {to10V, "099\r100\r"}, k10V},
        {"Below +100mA", kSmall, v15, v10, Button, 5, {}, {to10V, "100\r120\r"}, k10V},
        {"Below -100mA", kSmall, v15, v10, Button, 6, {}, {to10V, "100\r080\r"}, k10V},
        {"Below +10mA", kSmall, v15, v10, Button, 7, {}, {to10V, "100\r102\r"}, k10V},
        {"Below -10mA", kSmall, v15, v10, Button, 8, {}, {to10V, "100\r098\r"}, k10V},
        {"Below shown", kSmall, v15, v10, Shown, 0, {}, {to10V, to10V}, k10V},
        {"Below typed past", kSmall, v15, v10, Typed, 0, {10100_mV, 500_mA}, {to10V, to10V}, k10V},
        {"Below played past", kSmall, v15, v10, Playback, 0, {10100_mV, 500_mA}, {to10V}, k10V},
        {"Below played at",
         kSmall,
         v15,
         v10,
         Playback,
         0,
         {10000_mV, 500_mA},
         {to10V, to10V},
         k10V},
        {"Below asked as before", kSmall, v15, v10, Call, 0, v15, {to10V}, k10V},
        {"Below asked past", kSmall, v15, v10, Call, 0, {10100_mV, 500_mA}, {to10V}, k10V},
        {"Below asked at", kSmall, v15, v10, Call, 0, {10000_mV, 500_mA}, {to10V, to10V}, k10V},
        {"I +0.1V", kSmall, i800, i300, Button, 3, {}, {to300, "051\r060\r"}, {}, k300mA},
        {"I +100mA", kSmall, i800, i300, Button, 5, {}, {to300, to300}, {}, k300mA},
        {"I +10mA", kSmall, i800, i300, Button, 7, {}, {to300, to300}, {}, k300mA},
        {"I -10mA", kSmall, i800, i300, Button, 8, {}, {to300, "050\r058\r"}, {}, k300mA},
        {"I typed past", kSmall, i800, i300, Typed, 0, i800, {to300, "050\r016\r"}, {}, k300mA},
        {"I played past", kSmall, i800, i300, Playback, 0, {5000_mV, 310_mA}, {to300}, {}, k300mA},
        {"I played at",
         kSmall,
         i800,
         i300,
         Playback,
         0,
         {5000_mV, 300_mA},
         {to300, to300},
         {},
         k300mA},
        {"I asked past", kSmall, i800, i300, Call, 0, {5000_mV, 305_mA}, {to300}, {}, k300mA},
        {"Both", kSmall, v15i800, both, Shown, 0, {}, {"100\r160\r", at, at}, k10V, k300mA},
        {"Large -0.1V", kLarge, v15i1500, i1000, Button, 4, {}, {to1A, "149\r100\r"}, {}, k1A},
        // A limit at the set-point: it stays, and no step goes past it.
        {"At +1V", kSmall, v10i300, both, Button, 1, {}, {at}},
        {"At +0.1V", kSmall, v10i300, both, Button, 3, {}, {at}},
        {"At -0.1V", kSmall, v10i300, both, Button, 4, {}, {"099\r060\r"}},
        {"At +100mA", kSmall, v10i300, both, Button, 5, {}, {at}},
        {"At +10mA", kSmall, v10i300, both, Button, 7, {}, {at}},
        {"At -10mA", kSmall, v10i300, both, Button, 8, {}, {"100\r058\r"}},
        {"At shown", kSmall, v10i300, both, Shown, 0, {}, {at}},
        {"At played", kSmall, v10i300, both, Playback, 0, v10i300, {at}},
        {"At asked", kSmall, v10i300, both, Call, 0, v10i300, {at}},
        // A limit above the set-point: the buttons and the rest go up to it.
        {"Above +1V", kSmall, v10i300, up, Button, 1, {}, {"110\r060\r"}},
        {"Above +100mA", kSmall, v10i300, up, Button, 5, {}, {"100\r080\r"}},
        {"Above typed at", kSmall, v10i300, up, Typed, 0, {12000_mV, 500_mA}, {"120\r100\r"}},
        {"Above typed past", kSmall, v10i300, up, Typed, 0, {12100_mV, 500_mA}, {"120\r100\r"}},
        {"Above played at", kSmall, v10i300, up, Playback, 0, {12000_mV, 500_mA}, {"120\r100\r"}},
        {"Above played past", kSmall, v10i300, up, Playback, 0, {12100_mV, 500_mA}, {}},
        {"Above asked at", kSmall, v10i300, up, Call, 0, {12000_mV, 500_mA}, {"120\r100\r"}},
        {"Above asked past", kSmall, v10i300, up, Call, 0, {12000_mV, 510_mA}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        SessionOnFakeLine s;
        Session& session = *s.session;
        if (session.unit().model() != c.model) session.unit().chooseModel(c.model);
        ASSERT_TRUE(session.unit().request(SetpointSource::SetValues, c.start).queued());
        s.clock.advanceMs(200);
        s.line->clearWrites();
        SetpointDialog dialog(session, nullptr);
        dialog.refresh();
        dialog.show();
        SetLimits(dialog, c.limit);
        Ask(s, dialog, c, folder.path());
        s.clock.advanceMs(2000);
        EXPECT_EQ(Commands(s.written()), c.sent);
        EXPECT_EQ(dialog.voltageLimitNote->text(), c.voltageNote);
        EXPECT_EQ(dialog.currentLimitNote->text(), c.currentNote);
        EXPECT_TRUE(s.said.isEmpty());
    }
}

} // namespace
} // namespace velmora
