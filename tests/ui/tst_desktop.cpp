// The main window as a citizen of the desktop: names for assistive tools, text that reads
// under a light and a dark palette, the font asked for, the window's icon.
#include "WindowRig.h"
#include "ui/DriveTree.h"
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>
#include <QLabel>
#include <QSet>
#include <QTreeWidget>

namespace {

// Every widget of the window a person can reach with the keys or the mouse.
QList<QWidget *> focusable(QWidget &window)
{
    QList<QWidget *> out;
    for (QWidget *w : window.findChildren<QWidget *>())
        if (w->focusPolicy() != Qt::NoFocus && !w->focusProxy() && w->window() == &window
            && !w->objectName().startsWith(QLatin1String("qt_")))
            out << w;
    return out;
}

// WCAG's relative luminance and contrast ratio, written out here rather than taken from the
// window's code.
double wcagLuminance(const QColor &c)
{
    double rgb[3] = {c.redF(), c.greenF(), c.blueF()};
    for (double &v : rgb)
        v = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    return 0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2];
}

double ratio(const QColor &a, const QColor &b)
{
    const double x = wcagLuminance(a), y = wcagLuminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// A dark palette as a dark desktop theme hands it to the application.
QPalette darkPalette()
{
    QPalette p;
    const QColor window(53, 53, 53), base(36, 36, 36), light(238, 238, 236), dim(128, 128, 128);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, light);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, light);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, light);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, light);
    p.setColor(QPalette::Highlight, QColor(21, 83, 158));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, dim);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, dim);
    return p;
}

// The colour a widget's background shows: its own where it fills it, else its parent's.
QColor shownBackground(const QWidget *w)
{
    for (; w; w = w->parentWidget())
        if (w->autoFillBackground() || w->isWindow())
            return w->palette().color(QPalette::Active, w->backgroundRole());
    return Qt::white;
}

struct TextOnBack {
    QString what;
    QColor text, back;
    bool enabled;
};

// The text and background colour of every visible text of the window, as the widgets paint them.
QList<TextOnBack> visibleTexts(QWidget &window)
{
    QList<TextOnBack> out;
    const auto group = QPalette::Active;
    for (QWidget *w : window.findChildren<QWidget *>()) {
        if (!w->isVisible())
            continue;
        const QPalette &p = w->palette();
        const QString what = w->objectName() + QLatin1Char(' ') + w->metaObject()->className();
        const auto add = [&](QPalette::ColorRole text, const QColor &back) {
            out << TextOnBack{what, p.color(w->isEnabled() ? group : QPalette::Disabled, text), back, w->isEnabled()};
        };
        if (auto *l = qobject_cast<QLabel *>(w); l && !l->text().isEmpty())
            add(l->foregroundRole(), shownBackground(w));
        else if (qobject_cast<QCheckBox *>(w))
            add(QPalette::WindowText, shownBackground(w));
        else if (qobject_cast<QPushButton *>(w) || qobject_cast<QHeaderView *>(w))
            add(QPalette::ButtonText, p.color(group, QPalette::Button));
        else if (qobject_cast<QLineEdit *>(w) || qobject_cast<QAbstractItemView *>(w))
            add(QPalette::Text, p.color(group, QPalette::Base));
    }
    return out;
}

// Enabled text reaches WCAG AA (4.5:1); the text of a disabled control, which WCAG leaves out,
// still stands out from its background.
void checkContrast(QWidget &window, bool checkDisabled)
{
    const QList<TextOnBack> texts = visibleTexts(window);
    QVERIFY(texts.size() >= 30);
    for (const TextOnBack &t : texts) {
        if (!t.enabled && !checkDisabled)
            continue;
        const double r = ratio(t.text, t.back);
        QVERIFY2(r >= (t.enabled ? 4.5 : 3.0),
                 qPrintable(QString("%1: %2 on %3 is %4:1").arg(t.what, t.text.name(), t.back.name()).arg(r)));
    }
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void everyReachableControlHasItsOwnName()
    {
        WindowRig rig;
        rig.w.show();
        const QList<QWidget *> reach = focusable(rig.w);
        QVERIFY(reach.size() >= 21);   // the boxes, buttons, lists, choice and tree
        QSet<QString> seen;
        for (QWidget *w : reach) {
            const QString name = w->accessibleName();
            QVERIFY2(!name.isEmpty(), qPrintable(w->objectName() + " " + w->metaObject()->className()));
            QVERIFY2(!seen.contains(name), qPrintable(name));
            seen.insert(name);
        }
        QVERIFY(seen.contains("Source folder") && seen.contains("Target folder") && seen.contains("File filter"));
        QVERIFY(seen.contains("Swap source and target"));
        QVERIFY(seen.contains("Take the source folder from the tree"));
    }

    void textReadsUnderTheLightPalette()
    {
        WindowRig rig;
        rig.w.show();
        // The window's colours stay as designed: black text on its light colours.
        QCOMPARE(rig.w.control(Ctl::txtSource)->palette().color(QPalette::Text), QColor(Qt::black));
        checkContrast(rig.w, false);
    }

    void textReadsUnderADarkPalette()
    {
        const QPalette before = QApplication::palette();
        QApplication::setPalette(darkPalette());
        {
            WindowRig rig;
            rig.w.show();
            checkContrast(rig.w, true);
            // Controls that follow the palette keep its light text on its dark background.
            QCOMPARE(rig.w.control(Ctl::txtPattern)->palette().color(QPalette::Text), QColor(238, 238, 236));
            QCOMPARE(rig.w.control(Ctl::lblListStatus)->palette().color(QPalette::Window), QColor(53, 53, 53));
        }
        QApplication::setPalette(before);
    }

    void fontAsksForArialThenItsStandIns()
    {
        WindowRig rig;
        const QFont f = rig.w.control(Ctl::txtSource)->font();
        QCOMPARE(f.families().value(0), QString("Arial"));
        QCOMPARE(f.styleHint(), QFont::SansSerif);
        // Qt keeps the substitutes in lower case.
        const QStringList subs = QFont::substitutes("Arial");
        QVERIFY(subs.indexOf("liberation sans") >= 0);
        QVERIFY(subs.indexOf("liberation sans") < subs.indexOf("arimo"));
        QVERIFY(subs.indexOf("arimo") < subs.indexOf("sans-serif"));
    }

    void windowShowsTheProgramsOwnIcon()
    {
        WindowRig rig;
        const QIcon icon = rig.w.windowIcon();
        QVERIFY(!icon.isNull());
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            QVERIFY2(icon.availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
        const QImage small = icon.pixmap(QSize(16, 16), 1.0).toImage();
        QCOMPARE(small.size(), QSize(16, 16));
        // The small size is a drawing of its own, not the large one scaled down.
        const QImage scaled = icon.pixmap(QSize(256, 256), 1.0).toImage().scaled(16, 16, Qt::IgnoreAspectRatio,
                                                                                  Qt::SmoothTransformation);
        QVERIFY(small.convertToFormat(QImage::Format_ARGB32) != scaled.convertToFormat(QImage::Format_ARGB32));
        // Opaque pixels in the corner where the source folder sits.
        QVERIFY(qAlpha(small.pixel(1, 5)) == 255);
    }

    void countersAreLabelledByTheirCaptions()
    {
        WindowRig rig;
        int tied = 0;
        for (QLabel *l : rig.w.findChildren<QLabel *>())
            if (l->buddy()) {
                ++tied;
                QVERIFY(!l->buddy()->accessibleName().isEmpty());
                // A counter is heard with its value.
                if (l->text() == "Files Found")
                    QCOMPARE(l->buddy()->accessibleName(), QString("Files found in the source: 0"));
                if (l->text() == "< Orphan >")
                    QCOMPARE(l->buddy()->accessibleName(), QString("Orphans in the target: 0"));
            }
        QCOMPARE(tied, 7);
        for (QWidget *w : {rig.w.control(Ctl::pball), rig.w.control(Ctl::lblListStatus), rig.w.control(Ctl::lblListStatus1)})
            QVERIFY(!w->accessibleName().isEmpty());
        auto *tree = rig.w.findChild<DriveTree *>();
        QVERIFY(tree);
        QCOMPARE(tree->headerItem()->text(0), QString("Drives and folders"));
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
