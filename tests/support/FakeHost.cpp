#include "FakeHost.h"

FakeHost::FakeHost()
{
    // The design-time state of the controls that the engine reads back.
    st(Ctl::txtPattern).text = QStringLiteral("*.*");
    st(Ctl::cmdStop).visible = false;
    st(Ctl::cmdStop).enabled = false;
    st(Ctl::cmdSync).enabled = false;
    st(Ctl::lblFoldQ).visible = false;
    st(Ctl::lblFoldersQ).visible = false;
    st(Ctl::cboChoices).value = -1;
    for (Ctl l : {Ctl::lblTotalSize, Ctl::lblTotalFiles, Ctl::lblTotalFolders, Ctl::lblNewFiles, Ctl::lblChngFiles})
        for (int i = 0; i < 2; ++i)
            st(l, i).text = QStringLiteral("0");
}

const FakeHost::State &FakeHost::st(Ctl c, int index) const
{
    static const State empty;
    auto it = map_.constFind(key(c, index));
    return it == map_.cend() ? empty : *it;
}

void FakeHost::setText(Ctl c, const QString &t, int index)
{
    st(c, index).text = t;
}

void FakeHost::setVisible(Ctl c, bool on, int index)
{
    st(c, index).visible = on;
}

void FakeHost::setValue(Ctl c, int v, int index)
{
    st(c, index).value = v;
    if (c == Ctl::cboChoices) {
        const QStringList &items = st(c).items;
        st(c).text = (v >= 0 && v < items.size()) ? items.at(v) : QString();
        if (onChoiceChanged)
            onChoiceChanged();
    }
}

void FakeHost::pumpEvents()
{
    ++pumps;
    if (onPump)
        onPump();
}
