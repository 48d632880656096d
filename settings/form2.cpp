#include "settings/form2.h"

#include "core/constants.h"
#include "core/message.h"
#include "playback/playback_progress.h"
#include "recording/file_identity.h"
#include "recording/file_names.h"
#include "recording/wall_time.h"
#include "session/session.h"
#include "settings/port_menu.h"
#include "settings/steady_cursor.h"
#include "settings/web_page.h"
#include "ui/window_font.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <limits>

namespace velmora {

namespace {

// Places in twips: left, top, width, height; option buttons within their frame.
using Place = TwipsBox;

constexpr Place kFrame2{240, 240, 1455, 1215};
constexpr std::array<Place, 2> kOption2{{{240, 360, 855, 255}, {240, 720, 1095, 255}}};
constexpr Place kCommand3{240, 1800, 1455, 375};
constexpr Place kFrame1{1920, 240, 1215, 1935};
constexpr std::array<Place, 4> kOption1{
    {{240, 360, 855, 255}, {240, 720, 855, 255}, {240, 1080, 855, 255}, {240, 1440, 855, 255}}};
constexpr Place kLabel1{3600, 360, 1215, 255};
constexpr Place kText1{3600, 600, 3855, 285};
constexpr Place kCommand1{7680, 600, 1095, 375};
constexpr Place kLabel2{3600, 1320, 975, 255};
constexpr Place kText2{3600, 1560, 3855, 285};
constexpr Place kCommand2{7680, 1560, 1095, 375};
constexpr Place kLabel3{6240, 2160, 1455, 255};
constexpr Place kLabel4{7680, 2160, 1335, 255};
constexpr int kClientWidth = 9030;
constexpr int kClientHeight = 2445;

void PlaceAt(QWidget* widget, const Place& place) {
    widget->setGeometry(PxBox(place));
}

template <typename T, typename... Args> T* Named(const QString& name, Args&&... args) {
    T* widget = new T(std::forward<Args>(args)...);
    widget->setObjectName(name);
    return widget;
}

QPushButton* MakeButton(const QString& name, const QString& caption, QWidget* parent) {
    auto* button = Named<QPushButton>(name, caption, parent);
    // Neither Enter nor Escape is bound to a button of this window.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QLineEdit* MakeTextBox(const QString& name, QWidget* parent) {
    auto* box = Named<QLineEdit>(name, parent);
    box->setMaxLength(std::numeric_limits<int>::max());
    // The box shows the name as typed; the tooltip, the file it leads to (cut
    // as a message is: a million characters would freeze the window on hover).
    const auto showPath = [box](const QString& text) {
        box->setToolTip(MessageForDisplay(FilePathFor(text)));
    };
    showPath(box->text());
    QObject::connect(box, &QLineEdit::textChanged, box, showPath);
    return box;
}

} // namespace

Form2::Form2(Session& session)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      session_(session) {
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString(kSettingsWindowTitle));
    setFont(WindowFont());
    setFixedSize(Px(kClientWidth), Px(kClientHeight));
    createControls();
    placeControls();
    setTabOrders();
    connectHandlers();
}

void Form2::createControls() {
    Frame2 = Named<QGroupBox>(QStringLiteral("Frame2"), QStringLiteral("Version"), this);
    Option2[0] =
        Named<QRadioButton>(QStringLiteral("Option2_0"), ModelCaption(Model::Small1A20V), Frame2);
    Option2[1] =
        Named<QRadioButton>(QStringLiteral("Option2_1"), ModelCaption(Model::Large2A5_25V), Frame2);
    Command3 = MakeButton(QStringLiteral("Command3"), QStringLiteral("Ok"), this);
    Frame1 = Named<QGroupBox>(QStringLiteral("Frame1"), QStringLiteral("Port"), this);
    for (int i = 0; i < 4; ++i) {
        Option1[i] = Named<QRadioButton>(QStringLiteral("Option1_%1").arg(i),
                                         QStringLiteral("COM%1").arg(i + 1), Frame1);
        Option1[i]->setContextMenuPolicy(Qt::CustomContextMenu);
        Option1[i]->installEventFilter(this); // the tooltip is made anew when asked for
        updatePortToolTip(i);
    }
    Label1 = Named<QLabel>(QStringLiteral("Label1"), QStringLiteral("Record file:"), this);
    Text1 = MakeTextBox(QStringLiteral("Text1"), this);
    Command1 = MakeButton(QStringLiteral("Command1"), QString(kCaptionStart), this);
    Label2 = Named<QLabel>(QStringLiteral("Label2"), QStringLiteral("Control file:"), this);
    Text2 = MakeTextBox(QStringLiteral("Text2"), this);
    // A name longer than a path may be is no file name; its box need not blink.
    new SteadyCursor({Text1, Text2}, kPathMaxBytes, this);
    Command2 = MakeButton(QStringLiteral("Command2"), QString(kCaptionStart), this);
    Label3 = Named<QLabel>(QStringLiteral("Label3"), QStringLiteral("Author:  Tarnholm,"), this);
    Label4 = Named<QLabel>(QStringLiteral("Label4"), QString(kAuthorHost), this);
    QFont underlined = font();
    underlined.setUnderline(true);
    Label4->setFont(underlined);
    Label4->setCursor(Qt::PointingHandCursor);
    Label4->installEventFilter(this);
}

void Form2::placeControls() {
    PlaceAt(Frame2, kFrame2);
    for (int i = 0; i < 2; ++i)
        PlaceAt(Option2[i], kOption2[i]);
    PlaceAt(Command3, kCommand3);
    PlaceAt(Frame1, kFrame1);
    for (int i = 0; i < 4; ++i)
        PlaceAt(Option1[i], kOption1[i]);
    PlaceAt(Label1, kLabel1);
    PlaceAt(Text1, kText1);
    PlaceAt(Command1, kCommand1);
    PlaceAt(Label2, kLabel2);
    PlaceAt(Text2, kText2);
    PlaceAt(Command2, kCommand2);
    PlaceAt(Label3, kLabel3);
    PlaceAt(Label4, kLabel4);
}

void Form2::setTabOrders() {
    // Frames and labels take no focus; the rest follow the window's tab order:
    // ports, record file, control file, the two Start buttons, models, Ok.
    const std::array<QWidget*, 11> chain{Option1[0], Option1[1], Option1[2], Option1[3],
                                         Text1,      Text2,      Command1,   Command2,
                                         Option2[0], Option2[1], Command3};
    for (std::size_t i = 0; i + 1 < chain.size(); ++i)
        setTabOrder(chain[i], chain[i + 1]);
}

void Form2::connectHandlers() {
    // `clicked` comes from the user only (mouse, Space, arrow keys) and also
    // for the option already selected, which is when a choice must run again.
    for (int i = 0; i < 4; ++i) {
        connect(Option1[i], &QRadioButton::clicked, this, [this, i] { Option1_Click(i); });
        connect(Option1[i], &QWidget::customContextMenuRequested, this,
                [this, i](const QPoint& pos) { ShowPortMenu(i, Option1[i]->mapToGlobal(pos)); });
    }
    for (int i = 0; i < 2; ++i)
        connect(Option2[i], &QRadioButton::clicked, this, [this, i] { Option2_Click(i); });
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form2::Command3_Click);
    // The captions follow the recorder and the player, whoever starts or
    // stops them.
    connect(&session_, &Session::recordingChanged, this, &Form2::showRecording);
    connect(&session_, &Session::playbackChanged, this, &Form2::showPlaybackProgress);
    // A name given by remote control shows in the box it belongs to.
    connect(&session_, &Session::fileNamesChanged, this, [this] {
        if (closed_) return;
        if (Text1->text() != session_.recordFileName()) Text1->setText(session_.recordFileName());
        if (Text2->text() != session_.controlFileName()) Text2->setText(session_.controlFileName());
    });
    showRecording(session_.recording());
    showPlaybackProgress(session_.playbackProgress());
}

void Form2::showRecording(bool recording) {
    Command1->setText(QString(recording ? kCaptionStop : kCaptionStart));
}

void Form2::showPlaybackProgress(const PlaybackProgress& progress) {
    // "Stop" while the run goes on (a run asked to stop reads "Start" at
    // once); the tooltip tells how far it has come.
    const bool running = session_.playerState() == Player::State::Running;
    Command2->setText(QString(running ? kCaptionStop : kCaptionStart));
    Command2->setToolTip(
        progress.running ? PlaybackStatusText(progress, WallSeconds(session_.clock().localNow()))
                         : QString());
}

void Form2::updatePortToolTip(int index) {
    const QString device = session_.unit().deviceForPort(index + 1);
    Option1[index]->setToolTip(PortToolTip(device, DevicePresent(device)));
}

} // namespace velmora
