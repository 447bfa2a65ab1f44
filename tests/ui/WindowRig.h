#pragma once
// The real main window for tests: its engine events are recorded instead of run (unless a
// test lets them through), its questions go to a ScriptedAsker, opening with the desktop is
// recorded, and its settings and run log live in a temporary folder.
#include "ScriptedAsker.h"
#include "TestRig.h"
#include "ui/formmain.h"
#include <QTemporaryDir>
#include <QTest>

// How long a test waits for a listing or a run of the window, which works on a thread of its own.
constexpr int kWorkBoundMs = 60000;

class RecordingWindow : public formmain {
public:
    struct Event {
        WinEvent e;
        int a, b;
    };
    QList<Event> events;
    bool passThrough = false;
    // Runs when the load event is raised (in place of the engine's start-up).
    std::function<void()> onLoad;

    int count(WinEvent e) const
    {
        int n = 0;
        for (const Event &ev : events)
            n += ev.e == e;
        return n;
    }
    QList<Event> only(WinEvent e) const
    {
        QList<Event> out;
        for (const Event &ev : events)
            if (ev.e == e)
                out << ev;
        return out;
    }

protected:
    void engineEvent(WinEvent e, int a, int b) override
    {
        events << Event{e, a, b};
        if (e == WinEvent::Load && onLoad)
            onLoad();
        if (passThrough)
            formmain::engineEvent(e, a, b);
    }
};

struct WindowRig {
    WindowRig()
    {
        pinTestLocale();
        Context &ctx = w.context();
        ctx.settings.setFile(tmp.path() + QStringLiteral("/settings/QuorvelMarnisyn.ini"));
        ctx.logCandidates = {tmp.path() + QStringLiteral("/LogQuorvelMarnisyn.txt")};
        ctx.log.open(ctx.logCandidates.first(), ctx.appName);
        w.setAsker(&asker);
        w.setDesktopOpener([this](const QString &p) {
            opened << p;
            return true;
        });
    }
    ~WindowRig()
    {
        // Closing in a test must not ask anything.
        w.setAsker(&quiet);
        quiet.answerDefaults(true);
    }
    QString path(const QString &rel) const { return tmp.path() + QLatin1Char('/') + rel; }
    // Shows the window and waits until it is the active window (shortcuts need that).
    bool showActive()
    {
        w.show();
        w.activateWindow();
        return QTest::qWaitForWindowActive(&w);
    }

    QTemporaryDir tmp;
    RecordingWindow w;
    ScriptedAsker asker;
    ScriptedAsker quiet;
    QStringList opened;
};
