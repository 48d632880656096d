// The settings window: opening and closing steps, port and model choices,
// its layout and keys, the web page, mapping COM numbers to devices, and its
// Start/Stop buttons following the session's recorder and player.

#include "core/constants.h"
#include "core/settings_store.h"
#include "panel/form1.h"
#include "session/session.h"
#include "settings/form2.h"
#include "settings/port_menu.h"
#include "support/control_line.h"
#include "support/files.h"
#include "support/message_catcher.h"
#include "support/panel_on_pty.h"
#include "support/pty_pair.h"
#include "support/wait_until.h"
#include "unit/command.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <stdexcept>

namespace velmora {
namespace {

using test::MessageCatcher;
using test::PtyPair;

// Lets the window's queued work and its deferred deletion happen.
void Settle(int ms = 20) {
    QTest::qWait(ms);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// What the user's (test-private) settings file holds under "Netzteil".
QString Stored(QLatin1StringView key) {
    return SettingsStore().text(QString(kSection), QString(key));
}

void Unstore(QLatin1StringView key) {
    QSettings(QString(kOrganisation), QString()).remove(QString(kSection) + u'/' + key);
}

// A panel started on the user's settings as `entries` ("group/key=value")
// leave them, on the real serial line.
class PanelOnStore {
  public:
    explicit PanelOnStore(const QStringList& entries)
        : session(clock, Stored(entries), SettingsStore()), form(session) {
        session.start();
    }

    RealClock clock;
    Session session;
    Form1 form;

  private:
    static std::unique_ptr<SerialLine> Stored(const QStringList& entries) {
        test::ClearSettings();
        QSettings store{QString(kOrganisation), QString()};
        for (const QString& entry : entries)
            store.setValue(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        return MakeQtSerialLine();
    }
};

// The panel on a pseudo-terminal mapped to COM2, on the real clock.
class SettingsWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        session().unit().mapPort(2, pty.slavePath());
    }
    void TearDown() override {
        if (Form2* window = form().settingsWindow()) window->close();
        Settle();
    }

    Session& session() { return panel.session; }
    Form1& form() { return panel.form; }
    bool linkOpen() { return session().unit().linkOpen(); }

    // Opens COM2 and leaves the first half of a frame on it: the rest makes
    // a whole frame only if the port was not closed and opened again, which
    // drops what waits. The port is not stored, so that storing it shows.
    void OpenCom2WithHalfAFrame() {
        session().unit().choosePort(2);
        ASSERT_TRUE(linkOpen());
        Unstore(kKeyPort);
        SendHalfAFrame();
    }
    void SendHalfAFrame() {
        pty.send("D 050  ");
        Settle(100);
    }
    // Sends the rest of the frame: whether a whole one arrived.
    bool RestMakesAFrame() {
        const auto before = session().lastMeasurement();
        pty.send("020  ");
        Settle(100);
        const auto after = session().lastMeasurement();
        return after && (!before || after->atNs != before->atNs) && after->text() == "05,0V0,20A";
    }
    // Makes the set-points those given, as "Set values" does; the unit has
    // taken them before this returns.
    void SetSetpoints(qint16 voltage, qint16 current) {
        ASSERT_EQ(session()
                      .unit()
                      .request(SetpointSource::SetValues, {Millivolts(voltage), Milliamps(current)})
                      .verdict,
                  DoorAnswer::Verdict::Queued);
        ASSERT_TRUE(test::WaitUntil([&] { return session().unit().linkIdle(); }));
        Settle(30);
        pty.readAvailable();
    }
    Form2* Open() {
        form().OpenSettingsWindow();
        Settle();
        return form().settingsWindow();
    }

    test::PanelOnPty panel;
    PtyPair& pty = panel.pty;
};

// --- Opening ---------------------------------------------------------------

// Opening shows the stored choices and changes nothing: not the set-points,
// not the port, and nothing goes to the unit. Only a click runs a choice.
TEST_F(SettingsWindowTest, OpeningSelectsModelAndPortAndChangesNothing) {
    struct Case {
        Model model;
        int option;
        const char* voltageLimit;
        const char* currentLimit;
    };
    for (const Case c : {Case{Model::Small1A20V, 0, "20000", "1000"},
                         Case{Model::Large2A5_25V, 1, "25000", "2500"}}) {
        SCOPED_TRACE(c.currentLimit);
        session().unit().chooseModel(c.model);
        OpenCom2WithHalfAFrame();
        SetSetpoints(7000, 300);
        session().setFileNames(QStringLiteral("run 1.log"), QStringLiteral("steps.dat"));
        Unstore(kKeyVoltageLimit);
        Unstore(kKeyCurrentLimit);
        int linkChanges = 0;
        const QMetaObject::Connection watch =
            QObject::connect(&session().unit(), &UnitControl::linkChanged, [&] { ++linkChanges; });

        Form2* window = Open();
        ASSERT_NE(window, nullptr);
        QObject::disconnect(watch);
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(window->Option2[c.option]->isChecked());
        EXPECT_FALSE(window->Option2[1 - c.option]->isChecked());
        EXPECT_TRUE(window->Option1[1]->isChecked());
        EXPECT_EQ(session().unit().setpoints(), (Setpoints{Millivolts(7000), Milliamps(300)}));
        EXPECT_EQ(session().unit().limits(), LimitsOf(c.model));
        // The model's pair of limits is stored again; the port is not.
        EXPECT_EQ(Stored(kKeyVoltageLimit), c.voltageLimit);
        EXPECT_EQ(Stored(kKeyCurrentLimit), c.currentLimit);
        EXPECT_EQ(Stored(kKeyPort), "");
        EXPECT_EQ(linkChanges, 0);
        EXPECT_TRUE(RestMakesAFrame()) << "the port was closed and opened again";
        EXPECT_EQ(window->Text1->text(), "run 1.log");
        EXPECT_EQ(window->Text2->text(), "steps.dat");
        EXPECT_EQ(pty.readFor(1, 200), QByteArray()); // opening sends nothing
        window->close();
        Settle();
    }
}

TEST(SettingsWindowOnAStore, MismatchedStoredLimitsAreStoredAsTheModelsPair) {
    PanelOnStore panel({"Netzteil/NLU=25000", "Netzteil/NLI=1000"});
    ASSERT_EQ(panel.session.unit().limits().voltage, Millivolts(25000));
    Form2* window = panel.form.OpenSettingsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->Option2[0]->isChecked());
    EXPECT_EQ(panel.session.unit().limits().voltage, Millivolts(20000));
    EXPECT_EQ(Stored(kKeyVoltageLimit), "20000");
    window->close();
    Settle();
}

// The message comes first; the window shows once it is closed, never above
// it. Nothing waits for the user meanwhile.
TEST(SettingsWindowOnAStore, AnUndefinedModelIsToldBeforeTheWindowShows) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    PanelOnStore panel({"Netzteil/NLU=18000", "Netzteil/NLI=1500", "Netzteil/Com=2",
                        "Ports/COM2=" + pty.slavePath()});
    ASSERT_TRUE(panel.session.unit().linkOpen());
    Unstore(kKeyPort);
    // Notes, as each message box shows, whether the window was showing yet.
    QList<bool> windowShownWithBox;
    struct ShowWatch : QObject {
        std::function<void()> shown;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Show && qobject_cast<QMessageBox*>(watched)) shown();
            return false;
        }
    } watch;
    watch.shown = [&] {
        Form2* window = panel.form.settingsWindow();
        windowShownWithBox << (window && window->isVisible());
    };
    qApp->installEventFilter(&watch);

    Form2* window = panel.form.OpenSettingsWindow();
    qApp->removeEventFilter(&watch);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(windowShownWithBox, QList<bool>{false});
    Settle(200);
    EXPECT_FALSE(window->isVisible()) << "the window came while its message was up";
    MessageCatcher catcher; // closes the box as a user would
    ASSERT_TRUE(test::WaitUntil([&] { return window->isVisible(); }));
    ASSERT_EQ(catcher.messages().size(), 1);
    EXPECT_EQ(catcher.messages()[0].title, "Error:");
    EXPECT_EQ(catcher.messages()[0].text, "Power supply version not defined.");
    EXPECT_FALSE(window->Option2[0]->isChecked());
    EXPECT_FALSE(window->Option2[1]->isChecked());
    EXPECT_EQ(panel.session.unit().model(), Model::None);
    EXPECT_EQ(panel.session.unit().limits(), (Limits{Millivolts(18000), Milliamps(1500)}));
    EXPECT_EQ(Stored(kKeyCurrentLimit), "1500");
    EXPECT_EQ(Stored(kKeyVoltageLimit), "18000");
    EXPECT_TRUE(window->Option1[1]->isChecked());
    EXPECT_EQ(Stored(kKeyPort), "");
    window->close();
    Settle();
}

TEST(SettingsWindowOnAStore, APortOutsideOneToFourIsLeftAlone) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    for (const char* port : {"7", "0", "-1"}) {
        SCOPED_TRACE(port);
        PanelOnStore panel({QStringLiteral("Netzteil/Com=%1").arg(port),
                            QStringLiteral("Ports/COM%1=%2").arg(port, pty.slavePath())});
        const bool open = panel.session.unit().linkOpen();
        EXPECT_EQ(open, QByteArray(port) == "7"); // the others are no port at all
        pty.send("D 050  ");
        Settle(100);
        Form2* window = panel.form.OpenSettingsWindow();
        ASSERT_NE(window, nullptr);
        for (QRadioButton* option : window->Option1)
            EXPECT_FALSE(option->isChecked());
        EXPECT_EQ(Stored(kKeyPort), port);
        EXPECT_EQ(panel.session.unit().port(), QByteArray(port).toInt());
        // Not closed and reopened: a frame sent in two halves still arrives.
        EXPECT_EQ(panel.session.unit().linkOpen(), open);
        pty.send("020  ");
        Settle(100);
        EXPECT_EQ(panel.session.lastMeasurement().has_value(), open);
        window->close();
        Settle();
        pty.readAvailable();
    }
}

TEST_F(SettingsWindowTest, OpeningLeavesFocusOffTheOptionButtons) {
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->focusWidget(), window->Text1);
    EXPECT_EQ(qobject_cast<QRadioButton*>(QApplication::focusWidget()), nullptr);
}

TEST_F(SettingsWindowTest, OpeningAgainOnlyRaisesTheOpenWindow) {
    session().unit().choosePort(2);
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    SetSetpoints(3000, 250);
    SendHalfAFrame();
    window->Text1->setText(QStringLiteral("typed.log"));

    EXPECT_EQ(form().OpenSettingsWindow(), window);
    Settle();
    form().Label15_Click();
    Settle();
    EXPECT_EQ(form().settingsWindow(), window);

    EXPECT_EQ(session().unit().setpoints().voltage.value, 3000);
    EXPECT_EQ(session().unit().setpoints().current.value, 250);
    EXPECT_EQ(window->Text1->text(), "typed.log");
    EXPECT_TRUE(RestMakesAFrame()) << "the port was closed and opened again";
    int settingsWindows = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<Form2*>(w) && w->isVisible()) ++settingsWindows;
    EXPECT_EQ(settingsWindows, 1);
}

// A control file whose one line is due long after the test has ended.
QString FarFutureControlFile(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("later.dat"));
    test::WriteFile(path, "#2099-01-01 12:00:00#,\"12.3V\",\"0.50A\"\r\n");
    return path;
}

TEST_F(SettingsWindowTest, OpeningAfterClosingCreatesTheWindowAnew) {
    QTemporaryDir dir;
    Form2* first = Open();
    ASSERT_NE(first, nullptr);
    QPointer<Form2> old(first);
    // Captions as a running recorder and player leave them.
    first->Text1->setText(dir.filePath(QStringLiteral("run.log")));
    first->Text2->setText(FarFutureControlFile(dir));
    QTest::mouseClick(first->Command1, Qt::LeftButton);
    QTest::mouseClick(first->Command2, Qt::LeftButton);
    ASSERT_EQ(first->Command1->text(), "Stop");
    ASSERT_EQ(first->Command2->text(), "Stop");
    first->close();
    EXPECT_EQ(form().settingsWindow(), nullptr);
    Settle();
    EXPECT_TRUE(old.isNull());

    Form2* second = Open();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->Command1->text(), "Start");
    EXPECT_EQ(second->Command2->text(), "Start");
    EXPECT_FALSE(session().recording());
    EXPECT_EQ(session().playerState(), Player::State::Idle);
}

// --- Choosing a model or a port ---------------------------------------------

// The unit is told: every answer about the set-points agrees with what it holds.
TEST_F(SettingsWindowTest, ChoosingLargeModelZeroesSetpointsAndSendsTheZero) {
    session().unit().choosePort(2);
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    SetSetpoints(12000, 500);

    QTest::mouseClick(window->Option2[1], Qt::LeftButton);
    EXPECT_TRUE(window->Option2[1]->isChecked());
    EXPECT_FALSE(window->Option2[0]->isChecked());
    EXPECT_TRUE(window->Option1[1]->isChecked()); // the port choice stays
    EXPECT_EQ(session().unit().setpoints().voltage.value, 0);
    EXPECT_EQ(session().unit().setpoints().current.value, 0);
    EXPECT_EQ(session().unit().limits(), (Limits{Millivolts(25000), Milliamps(2500)}));
    EXPECT_EQ(Stored(kKeyVoltageLimit), "25000");
    EXPECT_EQ(Stored(kKeyCurrentLimit), "2500");
    EXPECT_EQ(pty.readFor(8, 1000), QByteArray("000\r000\r"));
}

TEST_F(SettingsWindowTest, ClickOnTheSelectedOptionRunsItsChoiceAgain) {
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->Option2[0]->isChecked());
    SetSetpoints(5000, 0);
    QTest::mouseClick(window->Option2[0], Qt::LeftButton);
    EXPECT_TRUE(window->Option2[0]->isChecked());
    EXPECT_EQ(session().unit().setpoints().voltage.value, 0);

    SendHalfAFrame();
    QTest::mouseClick(window->Option1[1], Qt::LeftButton);
    EXPECT_TRUE(window->Option1[1]->isChecked());
    EXPECT_TRUE(linkOpen());
    EXPECT_FALSE(RestMakesAFrame()) << "the port was not opened again";
}

TEST_F(SettingsWindowTest, KeyboardChoosesModelAndPort) {
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    SetSetpoints(0, 120);
    window->Option2[0]->setFocus();
    QTest::keyClick(window->Option2[0], Qt::Key_Down);
    EXPECT_TRUE(window->Option2[1]->isChecked());
    EXPECT_EQ(session().unit().limits().current, Milliamps(2500));
    EXPECT_EQ(session().unit().setpoints().current.value, 0);

    session().unit().mapPort(1, pty.slavePath());
    window->Option1[1]->setFocus();
    QTest::keyClick(window->Option1[1], Qt::Key_Up);
    EXPECT_TRUE(window->Option1[0]->isChecked());
    EXPECT_EQ(session().unit().port(), 1);
    EXPECT_EQ(Stored(kKeyPort), "1");
    EXPECT_TRUE(linkOpen());

    // Space on the selected option chooses it again.
    SetSetpoints(0, 90);
    window->Option2[1]->setFocus();
    QTest::keyClick(window->Option2[1], Qt::Key_Space);
    EXPECT_EQ(session().unit().setpoints().current.value, 0);
    session().unit().mapPort(1, QString());
}

TEST_F(SettingsWindowTest, PortThatCannotOpenIsStoredWithoutAMessage) {
    session().unit().mapPort(4, QStringLiteral("/nonexistent/ttyVELMORA"));
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    MessageCatcher catcher;
    QTest::mouseClick(window->Option1[3], Qt::LeftButton);
    Settle();
    EXPECT_TRUE(window->Option1[3]->isChecked());
    EXPECT_FALSE(window->Option1[1]->isChecked());
    EXPECT_EQ(session().unit().port(), 4);
    EXPECT_FALSE(linkOpen());
    EXPECT_EQ(Stored(kKeyPort), "4");
    EXPECT_TRUE(catcher.messages().isEmpty());
    session().unit().mapPort(4, QString());
}

// --- Closing ----------------------------------------------------------------

TEST_F(SettingsWindowTest, ClosingStoresBothNamesExactlyAsTyped) {
    struct Case {
        const char* how;
        const char* record;
        const char* control;
    };
    for (const Case c : {Case{"Ok", "", " spaced name.dat "}, Case{"close box", "rec.log", ""}}) {
        SCOPED_TRACE(c.how);
        Form2* window = Open();
        ASSERT_NE(window, nullptr);
        window->Text1->setText(QString::fromLatin1(c.record));
        window->Text2->setText(QString::fromLatin1(c.control));
        if (QByteArray(c.how) == "Ok")
            QTest::mouseClick(window->Command3, Qt::LeftButton);
        else
            window->close();
        EXPECT_EQ(form().settingsWindow(), nullptr);
        QSettings store{QString(kOrganisation), QString()};
        EXPECT_TRUE(store.contains(QStringLiteral("Netzteil/Log")));
        EXPECT_TRUE(store.contains(QStringLiteral("Netzteil/Dat")));
        EXPECT_EQ(Stored(kKeyRecordFile), c.record);
        EXPECT_EQ(Stored(kKeyControlFile), c.control);
        EXPECT_EQ(session().recordFileName(), c.record);
        EXPECT_EQ(session().controlFileName(), c.control);
        Settle();
    }
    // The next start falls back to the default for the empty name.
    SettingsStore store;
    EXPECT_EQ(store.load().recordFileName, "rec.log");
    EXPECT_EQ(store.load().controlFileName, "Velmora.dat");
    store.saveText(QString(kKeyRecordFile), QString());
    EXPECT_EQ(store.load().recordFileName, "Velmora.log");
}

TEST_F(SettingsWindowTest, WindowOpenedAgainShowsTheNamesStoredAtClosing) {
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    window->Text1->setText(QStringLiteral("new.log"));
    window->Text2->setText(QString());
    window->close();
    Settle();
    window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Text1->text(), "new.log");
    EXPECT_EQ(window->Text2->text(), "");
}

TEST_F(SettingsWindowTest, TextBoxesKeepNamesAsTypedAndShowTheirFilesInTooltips) {
    session().setFileNames(QStringLiteral("start.log"), session().controlFileName());
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    // The test's own folder is writable: relative names stay beside the program.
    const QString folder = QCoreApplication::applicationDirPath();
    EXPECT_EQ(window->Text1->toolTip(), folder + "/start.log");
    for (QLineEdit* box : {window->Text1, window->Text2}) {
        for (const QString& typed : {QStringLiteral(" run 1.log"), QStringLiteral("/tmp/x.dat")}) {
            SCOPED_TRACE((box->objectName() + ": " + typed).toStdString());
            box->clear();
            QTest::keyClicks(box, typed);
            EXPECT_EQ(box->text(), typed);
            EXPECT_EQ(box->toolTip(), typed.startsWith('/') ? typed : folder + "/" + typed);
        }
    }
}

// A blinking cursor would lay a million characters out twice a second.
TEST_F(SettingsWindowTest, AMillionCharacterNameIsHeldWholeWithASteadyCursor) {
    QStyleHints* hints = QGuiApplication::styleHints();
    const int blink = hints->cursorFlashTime();
    ASSERT_GT(blink, 0);
    const QString huge(1'000'000, u'x');
    session().setFileNames(huge, session().controlFileName());
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Text1->text(), huge);
    EXPECT_LT(window->Text1->toolTip().size(), 4100); // its ends, not a million characters
    ASSERT_EQ(QApplication::focusWidget(), window->Text1);
    EXPECT_EQ(hints->cursorFlashTime(), 0);
    window->Text2->setFocus();
    EXPECT_EQ(hints->cursorFlashTime(), blink); // a short name blinks as ever
    window->Text2->setText(huge);
    EXPECT_EQ(hints->cursorFlashTime(), 0);
    window->close();
    EXPECT_EQ(hints->cursorFlashTime(), blink);
    EXPECT_EQ(Stored(kKeyRecordFile), huge);
    EXPECT_EQ(Stored(kKeyControlFile), huge);
}

// --- Layout and keys -------------------------------------------------------------

TEST_F(SettingsWindowTest, WindowIsAFixedDialogWithCloseBoxOnly) {
    Form2 window(session());
    EXPECT_EQ(window.windowTitle(), "Settings");
    EXPECT_EQ(window.size(), QSize(602, 163));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(window.parentWidget(), nullptr);
    EXPECT_TRUE(window.testAttribute(Qt::WA_DeleteOnClose));
}

TEST_F(SettingsWindowTest, ControlsHaveTheirPlacesCaptionsAndFont) {
    struct Control {
        const char* name;
        const char* caption;
        int left, top, width, height; // twips
    };
    const Control controls[] = {
        {"Frame2", "Version", 240, 240, 1455, 1215},
        {"Option2_0", "1A/20V", 240, 360, 855, 255},
        {"Option2_1", "2,5A/25V", 240, 720, 1095, 255},
        {"Command3", "Ok", 240, 1800, 1455, 375},
        {"Frame1", "Port", 1920, 240, 1215, 1935},
        {"Option1_0", "COM1", 240, 360, 855, 255},
        {"Option1_1", "COM2", 240, 720, 855, 255},
        {"Option1_2", "COM3", 240, 1080, 855, 255},
        {"Option1_3", "COM4", 240, 1440, 855, 255},
        {"Label1", "Record file:", 3600, 360, 1215, 255},
        {"Text1", "", 3600, 600, 3855, 285},
        {"Command1", "Start", 7680, 600, 1095, 375},
        {"Label2", "Control file:", 3600, 1320, 975, 255},
        {"Text2", "", 3600, 1560, 3855, 285},
        {"Command2", "Start", 7680, 1560, 1095, 375},
        {"Label3", "Author:  Tarnholm,", 6240, 2160, 1455, 255},
        {"Label4", "tarnholm.example", 7680, 2160, 1335, 255},
    };
    Form2 window(session());
    for (const Control& c : controls) {
        SCOPED_TRACE(c.name);
        auto* widget = window.findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), QRect(Px(c.left), Px(c.top), Px(c.width), Px(c.height)));
        QString caption;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) caption = button->text();
        if (auto* label = qobject_cast<QLabel*>(widget)) caption = label->text();
        if (auto* frame = qobject_cast<QGroupBox*>(widget)) caption = frame->title();
        if (auto* box = qobject_cast<QLineEdit*>(widget)) caption = box->text();
        EXPECT_EQ(caption, c.caption);
        EXPECT_EQ(widget->font().family(), "MS Sans Serif");
        EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), 8.25);
        EXPECT_EQ(widget->font().weight(), QFont::Normal);
        EXPECT_EQ(widget->font().underline(), QByteArray(c.name) == "Label4");
    }
    EXPECT_EQ(window.Option1[0]->parentWidget(), window.Frame1);
    EXPECT_EQ(window.Option2[0]->parentWidget(), window.Frame2);
}

TEST_F(SettingsWindowTest, NothingIsSelectedAndNothingLimitedAtCreation) {
    Form2 window(session());
    for (QRadioButton* option : window.Option1)
        EXPECT_FALSE(option->isChecked());
    for (QRadioButton* option : window.Option2)
        EXPECT_FALSE(option->isChecked());
    for (QLineEdit* box : {window.Text1, window.Text2})
        EXPECT_EQ(box->maxLength(), std::numeric_limits<int>::max());
    for (QPushButton* button : {window.Command1, window.Command2, window.Command3}) {
        EXPECT_FALSE(button->autoDefault());
        EXPECT_FALSE(button->isDefault());
    }
    for (QWidget* w : std::initializer_list<QWidget*>{window.Frame1, window.Frame2, window.Label1,
                                                      window.Label2, window.Label3, window.Label4})
        EXPECT_EQ(w->focusPolicy(), Qt::NoFocus) << w->objectName().toStdString();
}

TEST_F(SettingsWindowTest, TabOrderRunsPortsFilesButtonsModelsOk) {
    Form2 window(session());
    QStringList order;
    QWidget* w = window.Option1[0];
    do {
        if (w->focusPolicy() & Qt::TabFocus) order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != window.Option1[0]);
    EXPECT_EQ(order.join(u' ').toStdString(),
              "Option1_0 Option1_1 Option1_2 Option1_3 Text1 Text2 Command1 Command2 "
              "Option2_0 Option2_1 Command3");
}

TEST_F(SettingsWindowTest, EnterAndEscapeDoNothing) {
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    for (QWidget* target : std::initializer_list<QWidget*>{window->Text1, window->Command3}) {
        SCOPED_TRACE(target->objectName().toStdString());
        target->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(target, key);
            Settle();
            EXPECT_EQ(form().settingsWindow(), window);
            EXPECT_TRUE(window->isVisible());
        }
    }
    EXPECT_EQ(window->Command1->text(), "Start");
}

// --- The author's web page ---------------------------------------------------------

TEST_F(SettingsWindowTest, Label4OpensTheAuthorsPageAndIgnoresFailure) {
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    QList<QUrl> asked;
    window->setUrlOpener([&asked](const QUrl& url) {
        asked << url;
        return false; // no browser
    });
    MessageCatcher catcher;
    QTest::mouseClick(window->Label4, Qt::LeftButton);
    QTest::mouseClick(window->Label3, Qt::LeftButton);
    QTest::mouseClick(window->Label4, Qt::RightButton);
    Settle();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].toString(), "http://tarnholm.example/");
    EXPECT_TRUE(catcher.messages().isEmpty());
    EXPECT_EQ(form().settingsWindow(), window);

    // An opener that throws: nothing shown, the window usable.
    window->setUrlOpener([](const QUrl&) -> bool { throw std::runtime_error("no desktop"); });
    QTest::mouseClick(window->Label4, Qt::LeftButton);
    // The desktop's own opener.
    window->setUrlOpener({});
    QTest::mouseClick(window->Label4, Qt::LeftButton);
    Settle();
    EXPECT_TRUE(catcher.messages().isEmpty());
    QTest::mouseClick(window->Command3, Qt::LeftButton);
    EXPECT_EQ(form().settingsWindow(), nullptr);
}

// --- Mapping COM numbers to devices ---------------------------------------------

QStringList MenuTexts(QMenu* menu) {
    QStringList texts;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) texts << action->text() + (action->isChecked() ? "*" : "");
    return texts;
}

TEST_F(SettingsWindowTest, PortMenuListsDevicesTheMappingAndDefault) {
    Form2 window(session());
    const QString ftdi = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const QList<SerialDevice> present{{"/dev/ttyUSB0", "FT232R USB UART", "A50285BI", ftdi},
                                      {"/dev/ttyACM1", "", "", ""},
                                      {"/dev/ttyS10", "", "", ""},
                                      {"/dev/ttyS2", "", "", ""},
                                      {"", "x", "", ""}};
    const QString byId = ftdi + " (FT232R USB UART, A50285BI)";
    const QString plain[] = {"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0 (FT232R USB UART)",
                             "/dev/ttyACM1"};
    struct Case {
        QString mapping;
        QStringList texts; // "*" marks the checked entry
    };
    const Case cases[] = {
        {"", {byId, plain[0], plain[1], plain[2], plain[3], "Default*"}},
        {"/dev/ttyACM1", {byId, plain[0], plain[1], plain[2], plain[3] + "*", "Default"}},
        {ftdi, {byId + "*", plain[0], plain[1], plain[2], plain[3], "Default"}},
        {"/dev/ttyGONE",
         {"/dev/ttyGONE (absent)*", byId, plain[0], plain[1], plain[2], plain[3], "Default"}},
        {"/dev/serial/by-id/usb-gone",
         {"/dev/serial/by-id/usb-gone (absent)*", byId, plain[0], plain[1], plain[2], plain[3],
          "Default"}},
        {pty.slavePath(), // present, though not among the serial devices
         {pty.slavePath() + "*", byId, plain[0], plain[1], plain[2], plain[3], "Default"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mapping.toStdString());
        QMenu* menu = BuildPortMenu(3, c.mapping, present, &window);
        EXPECT_EQ(MenuTexts(menu), c.texts);
        EXPECT_EQ(menu->actions().first()->data().toString(),
                  c.texts.first().startsWith(byId) ? ftdi : c.mapping);
        EXPECT_EQ(menu->actions().last()->data().toString(), "");
        delete menu;
    }
    QMenu* none = BuildPortMenu(3, QString(), {}, &window);
    EXPECT_EQ(MenuTexts(none), QStringList{"Default*"});
}

// Stable names come from the links in a folder, matched to the device they lead to.
TEST_F(SettingsWindowTest, StableNamesAreTheLinksLeadingToEachDevice) {
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid());
    const QDir folder(dev.path());
    ASSERT_TRUE(folder.mkdir("by-id"));
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyS0"}) {
        QFile node(folder.filePath(name));
        ASSERT_TRUE(node.open(QIODevice::WriteOnly));
    }
    const QString byId = folder.filePath("by-id");
    ASSERT_TRUE(QFile::link("../ttyUSB1", byId + "/usb-Maker_Cable_B-if00-port0"));
    ASSERT_TRUE(QFile::link(folder.filePath("ttyUSB0"), byId + "/usb-Maker_Cable_A-if00-port0"));
    ASSERT_TRUE(QFile::link("../ttyUSB7", byId + "/usb-Maker_Unplugged-if00-port0"));
    const QList<SerialDevice> named =
        WithStableNames({{folder.filePath("ttyUSB0"), "Cable", "A", ""},
                         {folder.filePath("ttyUSB1"), "Cable", "B", ""},
                         {folder.filePath("ttyS0"), "", "", ""},
                         {folder.filePath("ttyUSB7"), "", "", ""}},
                        byId);
    ASSERT_EQ(named.size(), 4);
    EXPECT_EQ(named[0].stableName, byId + "/usb-Maker_Cable_A-if00-port0");
    EXPECT_EQ(named[1].stableName, byId + "/usb-Maker_Cable_B-if00-port0");
    EXPECT_EQ(named[2].stableName, "");
    EXPECT_EQ(named[3].stableName, "");
    EXPECT_EQ(WithStableNames({{"/dev/ttyS0", "", "", ""}}, dev.filePath("none"))[0].stableName,
              "");
}

TEST_F(SettingsWindowTest, MappingCom3ToADeviceReopensThePortThere) {
    PtyPair other;
    ASSERT_TRUE(other.ok());
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    const QString ttyS2State = DevicePresent("/dev/ttyS2") ? " (present)" : " (absent)";
    EXPECT_EQ(window->Option1[2]->toolTip(), "/dev/ttyS2" + ttyS2State);
    EXPECT_EQ(window->Option1[1]->toolTip(), pty.slavePath() + " (present)");

    QMenu* menu = BuildPortMenu(3, QString(), {{other.slavePath(), "test line", "", ""}}, window);
    QAction* entry = menu->actions().first();
    EXPECT_EQ(entry->text(), other.slavePath() + " (test line)");
    window->MapPort(2, entry->data().toString());
    delete menu;

    EXPECT_EQ(session().unit().mappedDevice(3), other.slavePath());
    EXPECT_EQ(SettingsStore().load().portDevices.value(3), other.slavePath());
    EXPECT_EQ(window->Option1[2]->toolTip(), other.slavePath() + " (present)");
    EXPECT_TRUE(window->Option1[2]->isChecked());
    EXPECT_FALSE(window->Option1[1]->isChecked());
    EXPECT_EQ(session().unit().port(), 3);
    EXPECT_EQ(Stored(kKeyPort), "3");
    ASSERT_TRUE(linkOpen());
    EXPECT_EQ(session().unit().linkStatus().device, other.slavePath());
    other.send("D 050  020  ");
    Settle(100);
    ASSERT_TRUE(session().lastMeasurement());
    EXPECT_EQ(session().lastMeasurement()->text(), "05,0V0,20A");

    // "Default" removes the mapping and goes back to the standard device.
    window->MapPort(2, QString());
    EXPECT_EQ(session().unit().mappedDevice(3), "");
    EXPECT_FALSE(SettingsStore().load().portDevices.contains(3));
    EXPECT_EQ(window->Option1[2]->toolTip(), "/dev/ttyS2" + ttyS2State);
    EXPECT_EQ(session().unit().linkStatus().device, "/dev/ttyS2");
    EXPECT_EQ(Stored(kKeyPort), "3");

    // The tooltip says what the option stands for now, when it is asked for.
    session().unit().mapPort(4, QStringLiteral("/dev/ttyGONE"));
    QHelpEvent ask(QEvent::ToolTip, QPoint(5, 5), window->Option1[3]->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(window->Option1[3], &ask);
    EXPECT_EQ(window->Option1[3]->toolTip(), "/dev/ttyGONE (absent)");
    session().unit().mapPort(4, QString());
}

TEST_F(SettingsWindowTest, RightClickOnAPortOffersTheMenuWithoutChoosing) {
    session().unit().choosePort(2);
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    QTest::mouseClick(window->Option1[3], Qt::RightButton);
    QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(5, 5),
                              window->Option1[3]->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(window->Option1[3], &request);
    Settle();
    EXPECT_TRUE(window->Option1[1]->isChecked()); // the right-click chose nothing
    EXPECT_EQ(session().unit().port(), 2);
    auto* menu = window->findChild<QMenu*>(QStringLiteral("PortMenu4"));
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    session().unit().mapPort(4, QStringLiteral("/dev/ttyOLD"));
    menu->actions().last()->trigger(); // "Default"
    Settle();
    EXPECT_EQ(session().unit().mappedDevice(4), "");
    EXPECT_TRUE(window->Option1[3]->isChecked());
    EXPECT_EQ(session().unit().port(), 4);
    EXPECT_EQ(Stored(kKeyPort), "4");
}

// --- With the panel, the recorder and the player ------------------------------------

// Opening the window leaves the set-points as they are: the buttons go on
// from them.
TEST_F(SettingsWindowTest, FirstAdjustmentAfterOpeningGoesOnFromTheSetpoints) {
    session().unit().choosePort(2);
    SetSetpoints(5000, 300);
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    pty.readAvailable();
    QTest::mousePress(form().Command1, Qt::LeftButton);
    QTest::qWait(100);
    QTest::mouseRelease(form().Command1, Qt::LeftButton);
    const QByteArray expected =
        BuildSetpointCommand(Model::Small1A20V, {Millivolts(6000), Milliamps(300)});
    EXPECT_EQ(pty.readFor(expected.size(), 3000), expected);
}

TEST_F(SettingsWindowTest, ClosingDuringRecordingEndsItAndKeepsTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.log"));
    session().unit().choosePort(2);
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    window->Text1->setText(path);
    QTest::mouseClick(window->Command1, Qt::LeftButton);
    ASSERT_EQ(window->Command1->text(), "Stop");
    pty.send("D 123  123  ");
    ASSERT_TRUE(test::WaitUntil([&] { return test::ReadFile(path).count('\n') == 1; }));

    window->close();
    EXPECT_FALSE(session().recording());
    pty.send("D 130  100  ");
    ASSERT_TRUE(test::WaitUntil([&] { return form().Label1.caption() == "13,0V"; }));
    const QByteArray written = test::ReadFile(path);
    EXPECT_EQ(written.count('\n'), 1);
    EXPECT_TRUE(written.endsWith("\"12.3V\",\"1.23A\"\r\n")) << written.toStdString();
    Settle();

    window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Command1->text(), "Start");
    EXPECT_EQ(window->Text1->text(), path);
}

TEST_F(SettingsWindowTest, ClosingDuringPlaybackEndsTheRunAndSendsNothing) {
    session().unit().choosePort(2);
    for (const bool reopen : {false, true}) {
        SCOPED_TRACE(reopen ? "closed and opened again" : "closed");
        QTemporaryDir dir;
        Form2* window = Open();
        ASSERT_NE(window, nullptr);
        window->Text2->setText(FarFutureControlFile(dir));
        pty.readAvailable();
        QPointer<Form2> first(window);
        QTest::mouseClick(window->Command2, Qt::LeftButton);
        ASSERT_EQ(window->Command2->text(), "Stop");
        QTest::qWait(200);
        window->close();
        if (reopen) form().OpenSettingsWindow();
        EXPECT_EQ(session().playerState(), Player::State::Idle);
        Settle();
        EXPECT_TRUE(first.isNull());
        if (reopen) {
            ASSERT_NE(form().settingsWindow(), nullptr);
            EXPECT_EQ(form().settingsWindow()->Command2->text(), "Start");
            EXPECT_EQ(form().settingsWindow()->Command2->toolTip(), "");
        } else {
            EXPECT_EQ(form().settingsWindow(), nullptr);
        }
        EXPECT_EQ(pty.readFor(1, 300), QByteArray());
        EXPECT_EQ(session().playerState(), Player::State::Idle);
        if (Form2* open = form().settingsWindow()) open->close();
        Settle();
    }
}

// The captions tell what the recorder and the player are doing, whoever
// started or stopped them: the session's calls, Zero output, a run's end.
TEST_F(SettingsWindowTest, StartStopCaptionsFollowTheSession) {
    QTemporaryDir dir;
    session().unit().choosePort(2);
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    const QString record = dir.filePath(QStringLiteral("run.log"));
    ASSERT_TRUE(session().startRecording(record).started);
    EXPECT_EQ(window->Command1->text(), "Stop");
    QTest::mouseClick(window->Command1, Qt::LeftButton); // Stop, as it says
    EXPECT_FALSE(session().recording());
    EXPECT_EQ(window->Command1->text(), "Start");
    ASSERT_TRUE(session().startRecording(record).started);
    session().stopRecording();
    EXPECT_EQ(window->Command1->text(), "Start");

    const QString later = FarFutureControlFile(dir);
    ASSERT_TRUE(session().startPlayback(later).started);
    EXPECT_EQ(window->Command2->text(), "Stop");
    EXPECT_TRUE(window->Command2->toolTip().startsWith(later + ": 0 of 1 sent, next in "))
        << window->Command2->toolTip().toStdString();
    session().stopPlayback();
    EXPECT_EQ(window->Command2->text(), "Start");
    EXPECT_EQ(window->Command2->toolTip(), "");

    ASSERT_TRUE(session().startPlayback(later).started);
    form().zeroOutputAction()->trigger();
    EXPECT_EQ(window->Command2->text(), "Start");

    const QString now = dir.filePath(QStringLiteral("now.dat"));
    ASSERT_TRUE(test::WriteFile(
        now, test::ControlLine(QDateTime::currentDateTime().addDays(-1), "01.0V", "0.10A")));
    ASSERT_TRUE(test::WaitUntil([&] { return session().unit().linkIdle(); }));
    window->Text2->setText(now);
    QTest::mouseClick(window->Command2, Qt::LeftButton);
    EXPECT_EQ(window->Command2->text(), "Stop");
    EXPECT_TRUE(test::WaitUntil([&] { return window->Command2->text() == "Start"; }));
    EXPECT_EQ(pty.readFor(16, 1000).right(8), "010\r020\r"); // zero, then the record
}

} // namespace
} // namespace velmora
