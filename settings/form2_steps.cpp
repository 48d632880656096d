// What the settings window does: opening and closing steps, the port and
// model choices, the recorder, player and web-page handlers.

#include "settings/form2.h"

#include "core/constants.h"
#include "core/message.h"
#include "core/settings_store.h"
#include "core/state.h"
#include "link/port.h"
#include "recorder/channels.h"
#include "settings/port_menu.h"
#include "settings/start_stop.h"
#include "settings/web_page.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

namespace velmora {

namespace {

// The window while it is open; cleared by its closing steps, so a window that
// is closed but not yet destroyed is never brought back.
Form2* g_openWindow = nullptr;

} // namespace

Form2::~Form2() {
    if (g_openWindow == this) g_openWindow = nullptr;
}

void Form2::Form_Load() {
    Shared.PlaybackStop = false;

    switch (CurrentModel()) {
    case Model::Small1A20V:
        selectOption(Option2[0]);
        Option2_Click(0);
        break;
    case Model::Large2A5_25V:
        selectOption(Option2[1]);
        Option2_Click(1);
        break;
    case Model::None:
        ShowMessage(QString(kMsgVersionNotDefined), QString(kErrorTitle));
        break;
    }

    if (Shared.PortNumber >= 1 && Shared.PortNumber <= 4) {
        const int index = Shared.PortNumber - 1;
        selectOption(Option1[index]);
        Option1_Click(index);
    }

    Text1->setText(Shared.RecordFileName);
    Text2->setText(Shared.ControlFileName);
    // Keyboard focus starts in the record file box: on an option button an
    // arrow key would choose a port or model the user did not mean.
    Text1->setFocus(Qt::OtherFocusReason);
}

void Form2::Option1_Click(int index) {
    ClosePort();
    Shared.PortNumber = static_cast<qint16>(index + 1);
    OpenPort();
    // Stored even when the port did not open: the next start tries it again.
    SaveSetting(QString(kKeyPort), QString::number(Shared.PortNumber));
}

void Form2::Option2_Click(int index) {
    // The unit keeps its set-points; the next adjustment starts from zero.
    Shared.VoltageSetpoint = 0;
    Shared.CurrentSetpoint = 0;
    const Limits limits = LimitsOf(index == 1 ? Model::Large2A5_25V : Model::Small1A20V);
    Shared.VoltageLimit = limits.voltage;
    Shared.CurrentLimit = limits.current;
    SaveSetting(QString(kKeyVoltageLimit), QString::number(Shared.VoltageLimit));
    SaveSetting(QString(kKeyCurrentLimit), QString::number(Shared.CurrentLimit));
}

void Form2::Command1_Click() {
    RecorderButton_Click(Command1, Text1->text());
}

void Form2::Command2_Click() {
    // The whole playback runs in here; the window may be closed and
    // destroyed meanwhile, so nothing after the call may touch it.
    PlayerButton_Click(Command2, Text2->text());
}

void Form2::Command3_Click() {
    close();
}

void Form2::Label4_Click() {
    OpenAuthorPage();
}

void Form2::MapPort(int index, const QString& device) {
    SavePortMapping(index + 1, device);
    updatePortToolTip(index);
    selectOption(Option1[index]);
    Option1_Click(index);
}

void Form2::ShowPortMenu(int index, const QPoint& globalPos) {
    QMenu* menu = BuildPortMenu(index + 1, PresentSerialDevices(), this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(menu, &QMenu::triggered, this,
            [this, index](QAction* action) { MapPort(index, action->data().toString()); });
    menu->popup(globalPos);
}

void Form2::selectOption(QRadioButton* option) {
    option->setChecked(true);
}

void Form2::closeEvent(QCloseEvent* event) {
    event->accept();
    if (g_openWindow != this) return; // the closing steps have run already
    g_openWindow = nullptr;
    Shared.PlaybackStop = true;
    CloseChannel(RecordChannel);
    CloseChannel(ControlChannel);
    SaveSetting(QString(kKeyRecordFile), Text1->text());
    SaveSetting(QString(kKeyControlFile), Text2->text());
    // A window opened again in this run shows what was just stored, not the
    // names read at start-up (closing it would store those over the user's).
    Shared.RecordFileName = Text1->text();
    Shared.ControlFileName = Text2->text();
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip)
        for (int i = 0; i < 4; ++i)
            if (watched == Option1[i]) updatePortToolTip(i);
    if (watched == Label4 && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            Label4->rect().contains(mouse->position().toPoint()))
            Label4_Click();
    }
    return QWidget::eventFilter(watched, event);
}

namespace {

// Centred over the window the user clicked in, else on the screen; kept on
// the screen either way.
void PlaceWindow(QWidget* window, QWidget* over) {
    QScreen* screen = over ? over->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QPoint centre = over ? over->frameGeometry().center() : area.center();
    QRect frame(QPoint(0, 0), window->size());
    frame.moveCenter(centre);
    frame.moveLeft(
        qBound(area.left(), frame.left(), qMax(area.left(), area.right() - frame.width())));
    frame.moveTop(
        qBound(area.top(), frame.top(), qMax(area.top(), area.bottom() - frame.height())));
    window->move(frame.topLeft());
}

} // namespace

void OpenSettingsWindow() {
    if (g_openWindow) {
        g_openWindow->raise();
        g_openWindow->activateWindow();
        return;
    }
    QWidget* over = QApplication::activeWindow();
    if (over && !over->isVisible()) over = nullptr;
    auto* window = new Form2;
    // Known as open before the opening steps: a click on the panel while
    // their message box waits only brings this window forward.
    g_openWindow = window;
    window->Form_Load();
    PlaceWindow(window, over);
    window->show();
    window->raise();
    window->activateWindow();
}

Form2* SettingsWindow() {
    return g_openWindow;
}

} // namespace velmora
