#include "panel/form1.h"

#include "core/constants.h"
#include "link/link_status.h"
#include "meters/meter_text.h"
#include "meters/off_timer.h"
#include "panel/artwork.h"
#include "panel/bench_panels.h"
#include "session/units.h"
#include "panel/context_menu.h"
#include "panel/protection_window.h"
#include "panel/remote_window.h"
#include "panel/runs_window.h"
#include "panel/setpoint_dialog.h"
#include "plot/plot_window.h"
#include "remote/remote_server.h"
#include "session/session.h"
#include "settings/form2.h"
#include "ui/message_box.h"
#include "ui/show_in_front.h"
#include "ui/window_font.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>

namespace velmora {

namespace {

// Adjust buttons: left and top in twips, in the order Command1..Command8.
constexpr std::array<std::pair<int, int>, 8> kButtonPlaces{{{6840, 240},
                                                            {6840, 840},
                                                            {6840, 1440},
                                                            {6840, 2040},
                                                            {8280, 240},
                                                            {8280, 840},
                                                            {8280, 1440},
                                                            {8280, 2040}}};
constexpr int kButtonSize = 255;
// The click area, Label15, covers the client area and a little more.
constexpr int kClickAreaWidth = 9375;
constexpr int kClickAreaHeight = 3015;

// On an enlarged window the click area ends where the panel does.
bool InClickArea(const QMouseEvent* event) {
    const QRect clickArea(0, 0, Px(kClickAreaWidth), Px(kClickAreaHeight));
    return clickArea.contains(event->position().toPoint());
}

// A left button on the click area.
bool OnClickArea(const QMouseEvent* event) {
    return event->button() == Qt::LeftButton && InClickArea(event);
}

// Asked for by name; the platform substitutes its nearest match (Liberation
// Sans for Arial, which has the same metrics).
QFont ReadoutFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(15.75);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace

Form1::Form1(Session& session, RemoteServer* remote)
    : Label1(this, QStringLiteral("00,0V"), true), Label2(this, QStringLiteral("0,00A"), true),
      Label16(this, QString(), false), Label17(this, QString(), true), session_(session),
      remote_(remote), arrowStrip_(ArrowStrip()) {
    setWindowTitle(QString(kMainWindowTitle));
    setWindowIcon(WindowIcon());
    setFont(WindowFont());
    readoutFont_ = ReadoutFont();
    // paintEvent covers every pixel with the button face, enlarged area included.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(Px(9360), Px(2985));
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    createButtons();

    // Ctrl+0 acts also while a button is held and from the other windows.
    zeroOutput_ = new QAction(QStringLiteral("Zero output"), this);
    zeroOutput_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    zeroOutput_->setShortcutContext(Qt::ApplicationShortcut);
    addAction(zeroOutput_);
    connect(zeroOutput_, &QAction::triggered, &session_,
            [this] { session_.unit().request(SetpointSource::ZeroOutput, {}); });
    followSession();
}

void Form1::createButtons() {
    for (int i = 0; i < 8; ++i) {
        auto* button = new AdjustButton(this);
        button->setObjectName(QStringLiteral("Command%1").arg(i + 1));
        button->setGeometry(Px(kButtonPlaces[i].first), Px(kButtonPlaces[i].second),
                            Px(kButtonSize), Px(kButtonSize));
        button->setFocusPolicy(Qt::StrongFocus);
        button->setAutoDefault(false);
        // A right press steps like any other; it opens no menu.
        button->setContextMenuPolicy(Qt::PreventContextMenu);
        const int number = i + 1;
        connect(button, &AdjustButton::MouseDown, &session_,
                [this, number] { session_.unit().pressAdjust(number); });
        connect(button, &AdjustButton::MouseUp, &session_,
                [this] { session_.unit().releaseAdjust(); });
        commands_[i] = button;
    }
    Command1 = commands_[0];
    Command2 = commands_[1];
    Command3 = commands_[2];
    Command4 = commands_[3];
    Command5 = commands_[4];
    Command6 = commands_[5];
    Command7 = commands_[6];
    Command8 = commands_[7];
    for (int i = 0; i + 1 < 8; ++i)
        setTabOrder(commands_[i], commands_[i + 1]);
}

// The display follows the session: a held button shows its set-point in
// place of the measured read-outs, which go on updating underneath.
void Form1::followSession() {
    connect(&session_, &Session::measured, this, &Form1::showMeasurement);
    connect(&session_.unit(), &UnitControl::adjustStepped, this, [this](bool voltage, int value) {
        Label1.setVisible(false);
        Label2.setVisible(false);
        Label16.setVisible(true);
        Label16.setCaption(SetpointCaption(voltage, value));
    });
    connect(&session_.unit(), &UnitControl::adjustEnded, this, [this] {
        Label1.setVisible(true);
        Label2.setVisible(true);
        Label16.setVisible(false);
    });
    connect(&session_, &Session::message, this,
            [](const QString& text, const QString& title) { ShowMessageBox(text, title); });
    connect(&session_, &Session::protectionTripped, this, &Form1::showTrip);
}

// Nothing waits for the box: the output is zero already, and Clear is one
// way of several (the Protection window, remote control) to go on.
void Form1::showTrip(const QString& text) {
    ShowMessageBoxWithAction(text, QStringLiteral("Protection"), QStringLiteral("Clear"),
                             [session = QPointer<Session>(&session_)] {
                                 if (session) session->clearTrip();
                             });
}

void Form1::showMeasurement(const Measurement& m) {
    Label1.setCaption(m.voltageText);
    Label2.setCaption(m.currentText);
    Label17.setCaption(Label17.caption() == u"*" ? QString() : QStringLiteral("*"));
}

Form1::~Form1() {
    // Deleted, not closed: their closing steps do not run when the program ends.
    delete settingsWindow_;
    delete plotWindow_;
    delete setpointDialog_;
    delete remoteWindow_;
    delete protectionWindow_;
    delete runsWindow_;
}

void Form1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (loaded_) return;
    loaded_ = true;
    Command1->setFocus();
}

void Form1::mousePressEvent(QMouseEvent* event) {
    // Left presses on the eight buttons never reach the window; everything
    // else inside the click area is a click on it. Other buttons' presses
    // come on from a button once it has handled them, so the place decides.
    clickStarted_ = OnClickArea(event);
    if (event->button() == Qt::RightButton && InClickArea(event) &&
        !qobject_cast<AdjustButton*>(childAt(event->position().toPoint())))
        showContextMenu(event->globalPosition().toPoint());
}

void Form1::showContextMenu(const QPoint& globalPos) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    FillPanelContextMenu(*menu, *this);
    menu->popup(globalPos);
}

PlotWindow* Form1::OpenPlotWindow() {
    if (!plotWindow_) plotWindow_ = new PlotWindow(session_);
    return ShowInFront(plotWindow_.data());
}

PlotWindow* Form1::plotWindow() const {
    return plotWindow_;
}

void Form1::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = clickStarted_ && OnClickArea(event);
    clickStarted_ = false;
    if (click) Label15_Click();
}

QString Form1::linkToolTip() const {
    QString text = LinkStatusText(session_.unit().linkStatus());
    if (bench_ && bench_->count() > 1) text = session_.name() + QStringLiteral(": ") + text;
    if (remote_ && remote_->listening()) text += u'\n' + remote_->statusLine();
    const MeterReadings meters = session_.meterReadings();
    if (meters.frames > 0)
        text += u'\n' +
                MetersTooltip(meters, session_.regulation().value_or(Regulation::ConstantVoltage));
    if (const qint64 remaining = session_.offTimerRemaining(); remaining > 0)
        text += u'\n' + CountdownText(remaining);
    return text;
}

RemoteWindow* Form1::OpenRemoteWindow() {
    if (!remote_) return nullptr;
    if (!remoteWindow_) remoteWindow_ = new RemoteWindow(session_, *remote_);
    return ShowInFront(remoteWindow_.data());
}

ProtectionWindow* Form1::OpenProtectionWindow() {
    if (!protectionWindow_) {
        protectionWindow_ = new ProtectionWindow(session_);
        if (bench_) protectionWindow_->setBench(&bench_->units());
    }
    return ShowInFront(protectionWindow_.data());
}

ProtectionWindow* Form1::protectionWindow() const {
    return protectionWindow_;
}

bool Form1::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    // Asked for when shown, so it is never stale; the buttons have none.
    const auto* help = static_cast<QHelpEvent*>(event);
    if (qobject_cast<AdjustButton*>(childAt(help->pos())))
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), linkToolTip(), this);
    return true;
}

void Form1::Label15_Click() {
    emit Label15Clicked();
    OpenSettingsWindow();
}

Form2* Form1::OpenSettingsWindow() {
    if (settingsWindow()) {
        return ShowInFront(settingsWindow_.data());
    }
    QWidget* over = QApplication::activeWindow();
    if (over && !over->isVisible()) over = nullptr;
    // Closed, it is gone: the next opening makes it anew. The pointer lets go
    // of it when it is deleted, which may come after the next one has opened.
    auto* window = new Form2(session_);
    settingsWindow_ = window;
    QMessageBox* message = window->Form_Load();
    PlaceWindow(window, over);
    if (!message) return ShowInFront(window);
    // The message first: the window comes once it is closed, never above it.
    connect(message, &QMessageBox::finished, window, [window] {
        if (!window->closed()) ShowInFront(window);
    });
    return window;
}

Form2* Form1::settingsWindow() const {
    // A window that has run its closing steps is on its way out.
    return settingsWindow_ && !settingsWindow_->closed() ? settingsWindow_.data() : nullptr;
}

// Closing the main window ends the program: the session lets the command on
// the line finish, and then the program returns from its event loop.
void Form1::closeEvent(QCloseEvent* event) {
    if (closingHides_) {
        event->ignore();
        hide();
        return;
    }
    event->accept();
    emit closing();
    session_.shutdown();
}

} // namespace velmora
