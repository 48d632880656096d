#include "panel/remote_window.h"

#include "remote/remote_server.h"
#include "session/session.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace velmora {

namespace {

constexpr int kRefreshMs = 250;

} // namespace

RemoteWindow::RemoteWindow(Session& session, RemoteServer& server)
    : session_(session), server_(server) {
    setWindowTitle(QStringLiteral("Remote control"));
    setAttribute(Qt::WA_DeleteOnClose);
    enabled = new QCheckBox(QStringLiteral("Remote control on"), this);
    address = new QLineEdit(this);
    port = new QSpinBox(this);
    port->setRange(1, 65535);
    allowFrom = new QLineEdit(this);
    allowFrom->setPlaceholderText(QStringLiteral("e.g. 192.168.1.0/24, 10.0.0.7"));
    apply = new QPushButton(QStringLiteral("Apply"), this);
    status = new QLabel(this);
    status->setWordWrap(true);
    clients = new QListWidget(this);
    lines = new QListWidget(this);
    auto* form = new QFormLayout;
    form->addRow(enabled);
    form->addRow(QStringLiteral("Address:"), address);
    form->addRow(QStringLiteral("Port:"), port);
    form->addRow(QStringLiteral("Allowed networks:"), allowFrom);
    form->addRow(QString(), apply);
    auto* all = new QVBoxLayout(this);
    all->addLayout(form);
    all->addWidget(status);
    all->addWidget(new QLabel(QStringLiteral("Clients:"), this));
    all->addWidget(clients, 1);
    all->addWidget(new QLabel(QStringLiteral("Last lines received:"), this));
    all->addWidget(lines, 2);
    resize(460, 420);
    connect(apply, &QPushButton::clicked, this, &RemoteWindow::applyBoxes);
    connect(&server_, &RemoteServer::changed, this, [this] { stale_ = true; });
    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, [this] {
        if (stale_ && isVisible()) refresh();
    });
    refresh_.start();
    fill();
    refresh();
}

void RemoteWindow::fill() {
    const RemoteSettings& s = server_.settings();
    enabled->setChecked(s.enabled);
    address->setText(s.address.toString());
    port->setValue(s.port);
    allowFrom->setText(s.allowFrom);
}

void RemoteWindow::applyBoxes() {
    RemoteSettings s = server_.settings();
    const QHostAddress host(address->text().trimmed());
    QString error;
    const auto allowed = ParseAllowFrom(allowFrom->text(), &error);
    problem_.clear();
    if (host.isNull())
        problem_ = QStringLiteral("\"%1\" is no address.").arg(address->text());
    else if (!allowed)
        problem_ = QStringLiteral("Allowed networks: %1.").arg(error);
    if (!problem_.isEmpty()) return refresh();
    s.enabled = enabled->isChecked();
    s.address = host;
    s.port = quint16(port->value());
    s.allowFrom = allowFrom->text().trimmed();
    s.allowed = *allowed;
    if (!server_.apply(s, &error)) problem_ = QStringLiteral("Cannot listen: %1.").arg(error);
    if (!server_.store(s))
        problem_ +=
            QStringLiteral(" The settings file cannot be written: this holds for this run.");
    refresh();
}

void RemoteWindow::refresh() {
    stale_ = false;
    QString text = server_.listening()
                       ? QStringLiteral("Listening on %1.")
                             .arg(ListenPlaceText(server_.settings().address, server_.port()))
                       : QStringLiteral("Off.");
    if (server_.refused() > 0) text += QStringLiteral(" %1 refused.").arg(server_.refused());
    if (!server_.watchdogNews().isEmpty()) text += u'\n' + server_.watchdogNews();
    for (const QString& problem : server_.lanProblems())
        text += u'\n' + problem;
    if (!problem_.isEmpty()) text += u'\n' + problem_;
    status->setText(text);
    clients->clear();
    for (const RemoteClientInfo& c : server_.clients()) {
        QString item = c.peer + QStringLiteral(" since ") + c.since.toString(u"hh:mm:ss");
        if (!c.unit.isEmpty()) item += QStringLiteral(", speaking to ") + c.unit;
        if (c.watchdogSeconds > 0)
            item += QStringLiteral(" (watchdog %1 s)").arg(c.watchdogSeconds);
        clients->addItem(item);
    }
    lines->clear();
    lines->addItems(server_.recentLines());
    lines->scrollToBottom();
}

} // namespace velmora
