#pragma once
// The panel with its session's port on a FakeLine: the caller hands it
// characters directly, with no device, on the real clock.

#include "core/clock.h"
#include "core/settings_store.h"
#include "panel/form1.h"
#include "session/session.h"
#include "support/fake_line.h"
#include "support/session_on_fake_line.h"

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <memory>

namespace velmora::test {

/// A session on a FakeLine and its Form1, the session started from the
/// user's (test-private) settings as the program starts, or from the store
/// given; the line's counts at 0.
struct PanelOnFakeLine {
    explicit PanelOnFakeLine(SettingsStore store = SettingsStore())
        : line(new FakeLine), session(clock, std::unique_ptr<SerialLine>(line), std::move(store)),
          form(session) {
        session.start();
        line->clearCounts();
    }
    /// The same on a settings file of its own at `storePath`, holding
    /// `stored` ("Netzteil/NLI=0", as SessionOnFakeLine::Store takes them).
    PanelOnFakeLine(const QString& storePath, const QStringList& stored)
        : PanelOnFakeLine(StoreWith(storePath, stored)) {}

    static SettingsStore StoreWith(const QString& path, const QStringList& stored) {
        SessionOnFakeLine::Store(path, stored);
        return SettingsStore(path);
    }
    RealClock clock;
    FakeLine* line;
    Session session;
    Form1 form;
};

/// The panel's menu, opened by a right click off the buttons; null when none
/// opened.
inline QMenu* OpenPanelMenu(Form1& form) {
    QTest::mousePress(form.windowHandle(), Qt::RightButton, {}, QPoint(190, 76));
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

/// The texts of `menu`'s entries, in order.
inline QStringList EntryTexts(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions())
        texts << action->text();
    return texts;
}

} // namespace velmora::test
