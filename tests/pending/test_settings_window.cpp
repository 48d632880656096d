// The settings window: opening and closing steps, port and model choices,
// its layout and keys, the web page, and mapping COM numbers to devices.

#include "core/constants.h"
#include "core/settings_store.h"
#include "core/state.h"
#include "link/command.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "panel/form1.h"
#include "recorder/channels.h"
#include "recorder/player.h"
#include "recorder/recorder.h"
#include "settings/form2.h"
#include "settings/port_menu.h"
#include "settings/web_page.h"
#include "support/message_catcher.h"
#include "support/panel_on_pty.h"
#include "support/pty_pair.h"

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
#include <QTimer>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::ClearSettings;
using test::MessageCatcher;
using test::PtyPair;

// Lets the window's queued work and its deferred deletion happen.
void Settle(int ms = 20) {
    QTest::qWait(ms);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void CloseSettingsWindow() {
    if (Form2* window = SettingsWindow()) window->close();
    Settle();
}

class SettingsWindowTest : public ::testing::Test {
  protected:
    // The panel owns MSComm1; it is never shown, so closing it never ends us.
    static void SetUpTestSuite() {
        if (!panel) panel = new Form1;
    }

    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        ClosePort();
        ClearSettings();
        ResetSharedState();
        SavePortMapping(2, pty.slavePath());
    }

    void TearDown() override {
        SetUrlOpenerForTesting({});
        CloseSettingsWindow();
        ClosePort();
        ClearSettings();
        ResetSharedState();
    }

    // Opens COM2 and leaves characters waiting on it; a port that is closed
    // and opened again has lost them.
    void OpenCom2WithStaleInput() {
        Shared.PortNumber = 2;
        OpenPort();
        ASSERT_TRUE(MSComm1()->PortOpen());
        pty.send("stale");
        Settle(100);
    }

    Form2* Open() {
        OpenSettingsWindow();
        Settle();
        return SettingsWindow();
    }

    static inline Form1* panel = nullptr;
    PtyPair pty;
};

// --- Opening ---------------------------------------------------------------

struct ModelCase {
    qint16 currentLimit;
    int option;
    const char* voltageLimitText;
    const char* currentLimitText;
};

TEST_F(SettingsWindowTest, OpeningSelectsModelAndPortAndRunsBothChoices) {
    for (const ModelCase c :
         {ModelCase{1000, 0, "20000", "1000"}, ModelCase{2500, 1, "25000", "2500"}}) {
        SCOPED_TRACE(c.currentLimit);
        OpenCom2WithStaleInput();
        Shared.CurrentLimit = c.currentLimit;
        Shared.VoltageSetpoint = 7000;
        Shared.CurrentSetpoint = 300;
        Shared.RecordFileName = QStringLiteral("run 1.log");
        Shared.ControlFileName = QStringLiteral("steps.dat");

        Form2* window = Open();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(window->Option2[c.option]->isChecked());
        EXPECT_FALSE(window->Option2[1 - c.option]->isChecked());
        EXPECT_TRUE(window->Option1[1]->isChecked());
        EXPECT_EQ(Shared.VoltageSetpoint, 0);
        EXPECT_EQ(Shared.CurrentSetpoint, 0);
        EXPECT_EQ(QString::number(Shared.VoltageLimit), c.voltageLimitText);
        EXPECT_EQ(Shared.CurrentLimit, c.currentLimit);
        EXPECT_EQ(ReadSetting(QString(kKeyVoltageLimit)), c.voltageLimitText);
        EXPECT_EQ(ReadSetting(QString(kKeyCurrentLimit)), c.currentLimitText);
        EXPECT_EQ(ReadSetting(QString(kKeyPort)), "2");
        EXPECT_EQ(Shared.PortNumber, 2);
        // Closed and opened again on COM2's device: what waited is gone, and
        // the port receives anew.
        EXPECT_TRUE(MSComm1()->PortOpen());
        EXPECT_EQ(MSComm1()->device(), pty.slavePath());
        EXPECT_EQ(MSComm1()->Input(), QByteArray());
        pty.send("fresh");
        Settle(100);
        EXPECT_EQ(MSComm1()->Input(), "fresh");
        EXPECT_EQ(window->Text1->text(), "run 1.log");
        EXPECT_EQ(window->Text2->text(), "steps.dat");
        EXPECT_FALSE(Shared.PlaybackStop);
        CloseSettingsWindow();
        ClosePort();
    }
}

TEST_F(SettingsWindowTest, OpeningWithMismatchedStoredLimitsStoresTheModelsPair) {
    SaveSetting(QString(kKeyVoltageLimit), QStringLiteral("25000"));
    SaveSetting(QString(kKeyCurrentLimit), QStringLiteral("1000"));
    LoadSettings();
    ASSERT_EQ(Shared.VoltageLimit, 25000);

    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->Option2[0]->isChecked());
    EXPECT_EQ(Shared.VoltageLimit, 20000);
    EXPECT_EQ(ReadSetting(QString(kKeyVoltageLimit)), "20000");
}

TEST_F(SettingsWindowTest, OpeningWithUndefinedModelShowsMessageBeforeTheWindow) {
    OpenCom2WithStaleInput();
    Shared.CurrentLimit = 1500;
    Shared.VoltageLimit = 18000;
    Shared.VoltageSetpoint = 4000;
    Shared.CurrentSetpoint = 200;
    MessageCatcher catcher;
    // Runs at the first event the message box handles.
    bool boxSeen = false;
    bool windowShownWithBox = true;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w) && w->isVisible()) boxSeen = true;
        windowShownWithBox = SettingsWindow() && SettingsWindow()->isVisible();
    });

    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(catcher.messages().size(), 1);
    EXPECT_EQ(catcher.messages()[0].title, "Error:");
    EXPECT_EQ(catcher.messages()[0].text, "Power supply version not defined.");
    EXPECT_TRUE(boxSeen);
    EXPECT_FALSE(windowShownWithBox);
    EXPECT_FALSE(window->Option2[0]->isChecked());
    EXPECT_FALSE(window->Option2[1]->isChecked());
    EXPECT_EQ(Shared.CurrentLimit, 1500);
    EXPECT_EQ(Shared.VoltageLimit, 18000);
    EXPECT_EQ(Shared.VoltageSetpoint, 4000);
    EXPECT_EQ(Shared.CurrentSetpoint, 200);
    EXPECT_EQ(ReadSetting(QString(kKeyCurrentLimit)), "");
    // The port step still ran.
    EXPECT_TRUE(window->Option1[1]->isChecked());
    EXPECT_EQ(ReadSetting(QString(kKeyPort)), "2");
    EXPECT_EQ(MSComm1()->Input(), QByteArray());
}

TEST_F(SettingsWindowTest, OpeningWithPortOutsideOneToFourLeavesThePortAlone) {
    for (qint16 port : {qint16(7), qint16(0), qint16(-1)}) {
        SCOPED_TRACE(port);
        OpenCom2WithStaleInput();
        Shared.PortNumber = port;
        Form2* window = Open();
        ASSERT_NE(window, nullptr);
        for (QRadioButton* option : window->Option1)
            EXPECT_FALSE(option->isChecked());
        EXPECT_EQ(ReadSetting(QString(kKeyPort)), "");
        EXPECT_EQ(Shared.PortNumber, port);
        // Not closed and reopened: what waited is still there.
        EXPECT_TRUE(MSComm1()->PortOpen());
        EXPECT_EQ(MSComm1()->Input(), "stale");
        CloseSettingsWindow();
        ClosePort();
    }
}

TEST_F(SettingsWindowTest, OpeningLeavesFocusOffTheOptionButtons) {
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->focusWidget(), window->Text1);
    EXPECT_EQ(qobject_cast<QRadioButton*>(QApplication::focusWidget()), nullptr);
}

TEST_F(SettingsWindowTest, OpeningAgainOnlyRaisesTheOpenWindow) {
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    pty.send("stale");
    Settle(100);
    Shared.VoltageSetpoint = 3000;
    Shared.CurrentSetpoint = 250;
    window->Text1->setText(QStringLiteral("typed.log"));

    OpenSettingsWindow();
    Settle();
    EXPECT_EQ(SettingsWindow(), window);
    panel->Label15_Click();
    Settle();
    EXPECT_EQ(SettingsWindow(), window);

    EXPECT_EQ(Shared.VoltageSetpoint, 3000);
    EXPECT_EQ(Shared.CurrentSetpoint, 250);
    EXPECT_EQ(window->Text1->text(), "typed.log");
    EXPECT_EQ(MSComm1()->Input(), "stale");
    int settingsWindows = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<Form2*>(w) && w->isVisible()) ++settingsWindows;
    EXPECT_EQ(settingsWindows, 1);
}

TEST_F(SettingsWindowTest, OpeningAfterClosingCreatesTheWindowAnew) {
    Form2* first = Open();
    ASSERT_NE(first, nullptr);
    QPointer<Form2> old(first);
    // Captions as a running recorder and player leave them.
    first->Command1->setText(QString(kCaptionStop));
    first->Command2->setText(QString(kCaptionStop));
    first->close();
    EXPECT_EQ(SettingsWindow(), nullptr);
    Settle();
    EXPECT_TRUE(old.isNull());

    Form2* second = Open();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Command1->text(), "Start");
    EXPECT_EQ(second->Command2->text(), "Start");
    EXPECT_FALSE(Shared.PlaybackStop);
}

// --- Choosing a model or a port ---------------------------------------------

TEST_F(SettingsWindowTest, ChoosingLargeModelZeroesSetpointsAndSendsNothing) {
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    pty.readAvailable();
    Shared.VoltageSetpoint = 12000;
    Shared.CurrentSetpoint = 500;

    QTest::mouseClick(window->Option2[1], Qt::LeftButton);
    EXPECT_TRUE(window->Option2[1]->isChecked());
    EXPECT_FALSE(window->Option2[0]->isChecked());
    EXPECT_TRUE(window->Option1[1]->isChecked()); // the port choice stays
    EXPECT_EQ(Shared.VoltageSetpoint, 0);
    EXPECT_EQ(Shared.CurrentSetpoint, 0);
    EXPECT_EQ(Shared.VoltageLimit, 25000);
    EXPECT_EQ(Shared.CurrentLimit, 2500);
    EXPECT_EQ(ReadSetting(QString(kKeyVoltageLimit)), "25000");
    EXPECT_EQ(ReadSetting(QString(kKeyCurrentLimit)), "2500");
    EXPECT_EQ(pty.readFor(1, 300), QByteArray());
}

TEST_F(SettingsWindowTest, ClickOnTheSelectedOptionRunsItsChoiceAgain) {
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    Shared.VoltageSetpoint = 5000;
    QTest::mouseClick(window->Option2[0], Qt::LeftButton);
    EXPECT_TRUE(window->Option2[0]->isChecked());
    EXPECT_EQ(Shared.VoltageSetpoint, 0);

    pty.send("stale");
    Settle(100);
    QTest::mouseClick(window->Option1[1], Qt::LeftButton);
    EXPECT_TRUE(window->Option1[1]->isChecked());
    EXPECT_TRUE(MSComm1()->PortOpen());
    EXPECT_EQ(MSComm1()->Input(), QByteArray());
}

TEST_F(SettingsWindowTest, KeyboardChoosesModelAndPort) {
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    window->Option2[0]->setFocus();
    Shared.CurrentSetpoint = 120;
    QTest::keyClick(window->Option2[0], Qt::Key_Down);
    EXPECT_TRUE(window->Option2[1]->isChecked());
    EXPECT_EQ(Shared.CurrentLimit, 2500);
    EXPECT_EQ(Shared.CurrentSetpoint, 0);

    SavePortMapping(1, pty.slavePath());
    window->Option1[1]->setFocus();
    QTest::keyClick(window->Option1[1], Qt::Key_Up);
    EXPECT_TRUE(window->Option1[0]->isChecked());
    EXPECT_EQ(Shared.PortNumber, 1);
    EXPECT_EQ(ReadSetting(QString(kKeyPort)), "1");

    // Space on the selected option chooses it again.
    Shared.CurrentSetpoint = 90;
    window->Option2[1]->setFocus();
    QTest::keyClick(window->Option2[1], Qt::Key_Space);
    EXPECT_EQ(Shared.CurrentSetpoint, 0);
}

TEST_F(SettingsWindowTest, PortThatCannotOpenIsStoredWithoutAMessage) {
    SavePortMapping(4, QStringLiteral("/nonexistent/ttyVELMORA"));
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    MessageCatcher catcher;
    QTest::mouseClick(window->Option1[3], Qt::LeftButton);
    Settle();
    EXPECT_TRUE(window->Option1[3]->isChecked());
    EXPECT_FALSE(window->Option1[1]->isChecked());
    EXPECT_EQ(Shared.PortNumber, 4);
    EXPECT_FALSE(MSComm1()->PortOpen());
    EXPECT_EQ(ReadSetting(QString(kKeyPort)), "4");
    EXPECT_TRUE(catcher.messages().isEmpty());
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
        EXPECT_EQ(SettingsWindow(), nullptr);
        EXPECT_TRUE(Shared.PlaybackStop);
        QSettings store{QString(kOrganisation), QString()};
        EXPECT_TRUE(store.contains(QStringLiteral("Netzteil/Log")));
        EXPECT_TRUE(store.contains(QStringLiteral("Netzteil/Dat")));
        EXPECT_EQ(ReadSetting(QString(kKeyRecordFile)), c.record);
        EXPECT_EQ(ReadSetting(QString(kKeyControlFile)), c.control);
        Settle();
    }
    // The next start falls back to the default for the empty name.
    LoadSettings();
    EXPECT_EQ(Shared.RecordFileName, "rec.log");
    EXPECT_EQ(Shared.ControlFileName, "Velmora.dat");
    SaveSetting(QString(kKeyRecordFile), QString());
    LoadSettings();
    EXPECT_EQ(Shared.RecordFileName, "Velmora.log");
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
    Shared.RecordFileName = QStringLiteral("start.log");
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
    Shared.RecordFileName = huge;
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
    EXPECT_EQ(ReadSetting(QString(kKeyRecordFile)), huge);
    EXPECT_EQ(ReadSetting(QString(kKeyControlFile)), huge);
}

// --- Layout and keys -------------------------------------------------------------

TEST_F(SettingsWindowTest, WindowIsAFixedDialogWithCloseBoxOnly) {
    Form2 window;
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
    Form2 window;
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
    Form2 window;
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
    Form2 window;
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
            EXPECT_EQ(SettingsWindow(), window);
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
    SetUrlOpenerForTesting([&asked](const QUrl& url) {
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
    EXPECT_EQ(SettingsWindow(), window);

    // The desktop's own opener: nothing shown, window usable.
    SetUrlOpenerForTesting({});
    QTest::mouseClick(window->Label4, Qt::LeftButton);
    Settle();
    EXPECT_TRUE(catcher.messages().isEmpty());
    QTest::mouseClick(window->Command3, Qt::LeftButton);
    EXPECT_EQ(SettingsWindow(), nullptr);
}

// --- Mapping COM numbers to devices ---------------------------------------------

QStringList MenuTexts(QMenu* menu) {
    QStringList texts;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) texts << action->text() + (action->isChecked() ? "*" : "");
    return texts;
}

TEST_F(SettingsWindowTest, PortMenuListsDevicesTheMappingAndDefault) {
    Form2 window;
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
        SavePortMapping(3, c.mapping);
        QMenu* menu = BuildPortMenu(3, present, &window);
        EXPECT_EQ(MenuTexts(menu), c.texts);
        EXPECT_EQ(menu->actions().first()->data().toString(),
                  c.texts.first().startsWith(byId) ? ftdi : c.mapping);
        EXPECT_EQ(menu->actions().last()->data().toString(), "");
        delete menu;
    }
    SavePortMapping(3, QString());
    QMenu* none = BuildPortMenu(3, {}, &window);
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

    QMenu* menu = BuildPortMenu(3, {{other.slavePath(), "test line", "", ""}}, window);
    QAction* entry = menu->actions().first();
    EXPECT_EQ(entry->text(), other.slavePath() + " (test line)");
    window->MapPort(2, entry->data().toString());
    delete menu;

    EXPECT_EQ(ReadPortMapping(3), other.slavePath());
    EXPECT_EQ(window->Option1[2]->toolTip(), other.slavePath() + " (present)");
    EXPECT_TRUE(window->Option1[2]->isChecked());
    EXPECT_FALSE(window->Option1[1]->isChecked());
    EXPECT_EQ(Shared.PortNumber, 3);
    EXPECT_EQ(ReadSetting(QString(kKeyPort)), "3");
    ASSERT_TRUE(MSComm1()->PortOpen());
    EXPECT_EQ(MSComm1()->device(), other.slavePath());
    other.send("hello"); // short of a frame, so it waits for us
    Settle(100);
    EXPECT_EQ(MSComm1()->Input(), "hello");

    // "Default" removes the mapping and goes back to the standard device.
    window->MapPort(2, QString());
    EXPECT_EQ(ReadPortMapping(3), "");
    EXPECT_EQ(window->Option1[2]->toolTip(), "/dev/ttyS2" + ttyS2State);
    EXPECT_EQ(MSComm1()->device(), "/dev/ttyS2");
    EXPECT_EQ(ReadSetting(QString(kKeyPort)), "3");

    // The tooltip says what the option stands for now, when it is asked for.
    SavePortMapping(4, QStringLiteral("/dev/ttyGONE"));
    QHelpEvent ask(QEvent::ToolTip, QPoint(5, 5), window->Option1[3]->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(window->Option1[3], &ask);
    EXPECT_EQ(window->Option1[3]->toolTip(), "/dev/ttyGONE (absent)");
}

TEST_F(SettingsWindowTest, RightClickOnAPortOffersTheMenuWithoutChoosing) {
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    QTest::mouseClick(window->Option1[3], Qt::RightButton);
    QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(5, 5),
                              window->Option1[3]->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(window->Option1[3], &request);
    Settle();
    EXPECT_TRUE(window->Option1[1]->isChecked()); // the right-click chose nothing
    EXPECT_EQ(Shared.PortNumber, 2);
    auto* menu = window->findChild<QMenu*>(QStringLiteral("PortMenu4"));
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    SavePortMapping(4, QStringLiteral("/dev/ttyOLD"));
    menu->actions().last()->trigger(); // "Default"
    Settle();
    EXPECT_EQ(ReadPortMapping(4), "");
    EXPECT_TRUE(window->Option1[3]->isChecked());
    EXPECT_EQ(Shared.PortNumber, 4);
    EXPECT_EQ(ReadSetting(QString(kKeyPort)), "4");
}

// --- With the panel, the recorder and the player ------------------------------------

TEST_F(SettingsWindowTest, FirstAdjustmentAfterOpeningStartsFromZero) {
    Shared.VoltageSetpoint = 5000;
    Shared.CurrentSetpoint = 300;
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    pty.readAvailable();
    // The release comes while the press handler holds the button.
    QTimer::singleShot(100, [] { panel->Command_MouseUp(1); });
    panel->Command_MouseDown(1);
    const QByteArray expected = BuildSetpointCommand(Model::Small1A20V, 1000, 0);
    EXPECT_EQ(pty.readFor(expected.size(), 3000), expected);
}

TEST_F(SettingsWindowTest, ClosingDuringRecordingEndsItAndKeepsTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.log"));
    Form2* window = Open();
    ASSERT_NE(window, nullptr);
    window->Text1->setText(path);
    QTest::mouseClick(window->Command1, Qt::LeftButton);
    ASSERT_EQ(window->Command1->text(), "Stop");
    WriteRecord(QStringLiteral("12,3V"), QStringLiteral("1,23A"));

    window->close();
    EXPECT_FALSE(ChannelIsOpen(RecordChannel));
    WriteRecord(QStringLiteral("13,0V"), QStringLiteral("1,00A"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    EXPECT_EQ(written.count('\n'), 1);
    EXPECT_TRUE(written.endsWith("\"12.3V\",\"1.23A\"\r\n")) << written.toStdString();
    Settle();

    window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Command1->text(), "Start");
    EXPECT_EQ(window->Text1->text(), path);
}

// A control file whose one line is due long after the test has ended.
QString FarFutureControlFile(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("later.dat"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("#2099-01-01 12:00:00#,\"12.3V\",\"1.23A\"\r\n");
    return path;
}

TEST_F(SettingsWindowTest, ClosingDuringPlaybackEndsTheRunAndSendsNothing) {
    for (const bool reopen : {false, true}) {
        SCOPED_TRACE(reopen ? "closed and opened again" : "closed");
        QTemporaryDir dir;
        Form2* window = Open();
        ASSERT_NE(window, nullptr);
        window->Text2->setText(FarFutureControlFile(dir));
        pty.readAvailable();
        QPointer<Form2> first(window);
        QTimer::singleShot(200, [reopen] {
            SettingsWindow()->close();
            if (reopen) OpenSettingsWindow();
        });
        bool hung = false;
        QTimer safety;
        safety.setSingleShot(true);
        QObject::connect(&safety, &QTimer::timeout, [&hung] {
            hung = true;
            Shared.PlaybackStop = true;
        });
        safety.start(5000);

        window->Command2->click(); // the whole playback runs in here

        EXPECT_FALSE(hung);
        EXPECT_FALSE(PlaybackRunning());
        EXPECT_FALSE(ChannelIsOpen(ControlChannel));
        Settle();
        EXPECT_TRUE(first.isNull());
        if (reopen) {
            ASSERT_NE(SettingsWindow(), nullptr);
            EXPECT_EQ(SettingsWindow()->Command2->text(), "Start");
        } else {
            EXPECT_EQ(SettingsWindow(), nullptr);
        }
        EXPECT_EQ(pty.readFor(1, 300), QByteArray());
        CloseSettingsWindow();
    }
}

} // namespace
} // namespace velmora
