#include "panel/mqtt_window.h"

#include "core/settings_store.h"
#include "mqtt/mqtt_bridge.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QVBoxLayout>

namespace velmora {

namespace {

constexpr int kRefreshMs = 250;

QLineEdit* Box(QWidget* parent, const QString& placeholder = {}) {
    auto* box = new QLineEdit(parent);
    box->setPlaceholderText(placeholder);
    return box;
}

} // namespace

MqttWindow::MqttWindow(MqttBridge& bridge, SettingsStore& store, QWidget* parent)
    : QWidget(parent), bridge_(bridge), store_(store) {
    setWindowTitle(QStringLiteral("MQTT"));
    setAttribute(Qt::WA_DeleteOnClose);
    enabled = new QCheckBox(QStringLiteral("Publish to an MQTT broker"), this);
    host = Box(this);
    port = new QSpinBox(this);
    port->setRange(0, 65535);
    port->setSpecialValueText(QStringLiteral("default: 1883, 8883 with TLS"));
    topic = Box(this, QStringLiteral("velmora/<host name>"));
    clientId = Box(this, QStringLiteral("velmora-<host name>"));
    username = Box(this, QStringLiteral("none"));
    passwordFile = Box(this, QStringLiteral("a file holding only the password (chmod 600)"));
    caFile = Box(this, QStringLiteral("none: no TLS"));
    commands = new QCheckBox(QStringLiteral("Take commands from <topic>/<unit>/set"), this);
    discovery = new QCheckBox(QStringLiteral("Home Assistant discovery"), this);
    rate = new QSpinBox(this);
    rate->setRange(1, MqttSettings::kMaxRate);
    rate->setSuffix(QStringLiteral(" messages a second per unit, at most"));
    status = new QLabel(this);
    status->setWordWrap(true);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    counters = new QLabel(this);
    lines = new QListWidget(this);
    auto* form = new QFormLayout;
    form->addRow(enabled);
    form->addRow(QStringLiteral("Host:"), host);
    form->addRow(QStringLiteral("Port:"), port);
    form->addRow(QStringLiteral("Topic:"), topic);
    form->addRow(QStringLiteral("Client id:"), clientId);
    form->addRow(QStringLiteral("User name:"), username);
    form->addRow(QStringLiteral("Password file:"), passwordFile);
    form->addRow(QStringLiteral("CA file (TLS):"), caFile);
    form->addRow(commands);
    form->addRow(discovery);
    form->addRow(QStringLiteral("Rate:"), rate);
    auto* all = new QVBoxLayout(this);
    all->addLayout(form);
    all->addWidget(status);
    all->addWidget(counters);
    all->addWidget(new QLabel(QStringLiteral("Commands and problems:"), this));
    all->addWidget(lines, 1);
    resize(520, 560);
    fill(bridge_.settings());
    for (QCheckBox* box : {enabled, commands, discovery})
        connect(box, &QCheckBox::toggled, this, &MqttWindow::applyBoxes);
    for (QLineEdit* box : {host, topic, clientId, username, passwordFile, caFile})
        connect(box, &QLineEdit::editingFinished, this, &MqttWindow::applyBoxes);
    connect(port, &QSpinBox::editingFinished, this, &MqttWindow::applyBoxes);
    connect(rate, &QSpinBox::valueChanged, this, &MqttWindow::applyBoxes);
    connect(&bridge_, &MqttBridge::changed, this, [this] { stale_ = true; });
    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, [this] {
        if (stale_ && isVisible()) refresh();
    });
    refresh_.start();
    refresh();
}

void MqttWindow::fill(const MqttSettings& s) {
    const QSignalBlocker blockers[] = {QSignalBlocker(enabled), QSignalBlocker(commands),
                                       QSignalBlocker(discovery), QSignalBlocker(rate)};
    enabled->setChecked(s.enabled);
    host->setText(s.host);
    port->setValue(s.port);
    topic->setText(s.topic);
    clientId->setText(s.clientId);
    username->setText(s.username);
    passwordFile->setText(s.passwordFile);
    caFile->setText(s.caFile);
    commands->setChecked(s.commands);
    discovery->setChecked(s.discovery);
    rate->setValue(s.rate);
}

QString MqttWindow::boxProblem() const {
    const auto place = ParseBrokerPlace(host->text().trimmed());
    if (!place || place->port != 0)
        return QStringLiteral("\"%1\" is no host name or address.").arg(host->text());
    if (!topic->text().trimmed().isEmpty()) {
        if (const QString why = TopicProblem(topic->text().trimmed()); !why.isEmpty())
            return QStringLiteral("The topic cannot be used: %1.").arg(why);
    }
    return {};
}

void MqttWindow::applyBoxes() {
    problem_ = boxProblem();
    if (!problem_.isEmpty()) return refresh();
    MqttSettings s;
    s.enabled = enabled->isChecked();
    s.host = host->text().trimmed();
    s.port = quint16(port->value());
    s.topic = topic->text().trimmed();
    s.clientId = clientId->text().trimmed();
    s.username = username->text();
    s.passwordFile = passwordFile->text().trimmed();
    s.caFile = caFile->text().trimmed();
    s.commands = commands->isChecked();
    s.discovery = discovery->isChecked();
    s.rate = rate->value();
    if (s == bridge_.settings() && bridge_.problem().isEmpty()) return refresh();
    if (!SaveMqttSettings(store_, s))
        problem_ = QStringLiteral("The settings file cannot be written: this holds for this run.");
    bridge_.apply(s);
    refresh();
}

void MqttWindow::refresh() {
    stale_ = false;
    QString text = bridge_.statusText();
    if (!problem_.isEmpty()) text += u'\n' + problem_;
    status->setText(text);
    const MqttLinkStatus link = bridge_.status();
    counters->setText(
        QStringLiteral("Messages sent: %1, received: %2.").arg(link.sent).arg(link.received));
    const QStringList& recent = bridge_.recentLines();
    if (lines->count() != recent.size() ||
        (lines->count() > 0 && lines->item(lines->count() - 1)->text() != recent.last())) {
        lines->clear();
        lines->addItems(recent);
        lines->scrollToBottom();
    }
}

} // namespace velmora
