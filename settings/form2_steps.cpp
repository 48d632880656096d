// What the settings window does: opening and closing steps, the port and
// model choices, the recorder, player and web-page handlers.

#include "settings/form2.h"

#include "core/constants.h"
#include "session/session.h"
#include "settings/port_menu.h"
#include "settings/start_stop.h"
#include "settings/web_page.h"
#include "ui/message_box.h"

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

Form2::~Form2() = default;

// Opening shows the stored choices and changes nothing: the set-points, the
// port and the unit are left as they are. Only a click runs a choice. A
// stored pair of limits that disagrees with its model is mended.
QMessageBox* Form2::Form_Load() {
    UnitControl& unit = session_.unit();
    QMessageBox* message = nullptr;
    switch (unit.model()) {
    case Model::Small1A20V:
        selectOption(Option2[0]);
        unit.mendModelLimits();
        break;
    case Model::Large2A5_25V:
        selectOption(Option2[1]);
        unit.mendModelLimits();
        break;
    case Model::None:
        message = ShowMessageBox(QString(kMsgVersionNotDefined), QString(kErrorTitle));
        break;
    }

    if (unit.port() >= 1 && unit.port() <= 4) selectOption(Option1[unit.port() - 1]);

    Text1->setText(session_.recordFileName());
    Text2->setText(session_.controlFileName());
    // Keyboard focus starts in the record file box: on an option button an
    // arrow key would choose a port or model the user did not mean.
    Text1->setFocus(Qt::OtherFocusReason);
    return message;
}

void Form2::Option1_Click(int index) {
    session_.unit().choosePort(static_cast<qint16>(index + 1));
}

void Form2::Option2_Click(int index) {
    session_.unit().chooseModel(index == 1 ? Model::Large2A5_25V : Model::Small1A20V);
}

void Form2::Command1_Click() {
    RecorderButton_Click(session_, Command1, Text1->text());
}

void Form2::Command2_Click() {
    PlayerButton_Click(session_, Command2, Text2->text());
}

void Form2::Command3_Click() {
    close();
}

void Form2::Label4_Click() {
    OpenAuthorPage(urlOpener_);
}

void Form2::MapPort(int index, const QString& device) {
    session_.unit().mapPort(index + 1, device);
    updatePortToolTip(index);
    selectOption(Option1[index]);
    Option1_Click(index);
}

void Form2::ShowPortMenu(int index, const QPoint& globalPos) {
    QMenu* menu = BuildPortMenu(index + 1, session_.unit().mappedDevice(index + 1),
                                PresentSerialDevices(), this);
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
    // Once the program is ending, names typed since the window opened are
    // not stored; the closing steps run once.
    if (closed_ || session_.ending()) return;
    closed_ = true;
    session_.stopPlayback();
    session_.stopRecording();
    // A window opened again in this run shows what was just stored, not the
    // names read at start-up (closing it would store those over the user's).
    session_.setFileNames(Text1->text(), Text2->text());
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

} // namespace velmora
