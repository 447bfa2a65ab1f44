// The command line in both forms: the pieces and options without any window, then their
// effects on the window, the log and the questions.
#include "TestRig.h"
#include "app/CommandLine.h"
#include "app/CommandLinePieces.h"
#include "app/Events.h"
#include "platform/Platform.h"
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

namespace {

// The options as one short text, e.g. "Source[C:\DATA] Target[D:\BACKUP] Sy".
QString render(const QList<CommandOption> &options)
{
    QStringList out;
    for (const CommandOption &o : options) {
        switch (o.kind) {
        case CommandOption::Help: out << "Help"; break;
        case CommandOption::Source: out << "Source[" + o.value + "]"; break;
        case CommandOption::Target: out << "Target[" + o.value + "]"; break;
        case CommandOption::CopyMissing: out << "Cm"; break;
        case CommandOption::CopyNewer: out << "Cn"; break;
        case CommandOption::CopyBack: out << "Cb"; break;
        case CommandOption::DeleteOrphans: out << "Do"; break;
        case CommandOption::Synchronize: out << "Sy"; break;
        case CommandOption::Name: out << "Name[" + o.value + "]"; break;
        case CommandOption::Batch: out << "Ba"; break;
        case CommandOption::MaxDelete: out << "MaxDelete[" + o.value + "]"; break;
        case CommandOption::FormatError: out << "Error"; break;
        }
    }
    return out.join(' ');
}

const QString kHelp = QStringList{
    "Parms:",
    "        /mp 'complete Source path'   -  Complete path to Source directory",
    "        /sp 'complete Target  path'  -  Complete path to Target directory",
    "        /cm(issing)                  -  Copy New files from Source to Target",
    "        /cn(ewer)                    -  Copy Changed Files in Source to Target",
    "        /cb(ack)                     -  Copy Back changed files in Target to Source",
    "        /do(rphans)                  -  Delete 'Orphan' files on Target",
    "        /na(me)                      -  Name the run in the form banner",
    "        /sy(ncronize)                -  Do: (1)Copy New Files in Source to Target,",
    "                                            (2)Copy Changed Files in Source to Target",
    "                                            (3)Delate Orphans Files on Target",
    "        /? or /h                     -  Display help window then exit.",
    "        /ba(tch)                     -  Run unattended: no window waits, no question is shown,",
    "                                            each answer goes to the run log (needs /mp and /sp)",
    "        --max-delete=N               -  In a /ba run, delete up to N orphans, however many of the",
    "                                            target's items they are (never when one folder lies",
    "                                            inside the other, or the source listed nothing)",
    "        --help                       -  Print this help to the terminal, open no window",
    "        --version                    -  Print the version to the terminal, open no window",
}.join("\r\n");

const QString kFormatError = " There is a format error in the input command line.  Please revise and rerun.";

// Log lines after the rig's own start line, without their date.
QStringList linesAfterDate(const TestRig &rig)
{
    QStringList out;
    for (const QString &l : rig.logLines()) {
        if (l.startsWith("--- "))
            continue;
        // "M/d/yyyy h:mm:ss AP" then the message.
        const int pm = l.indexOf(QRegularExpression(" [AP]M"));
        out << (pm >= 0 ? l.mid(pm + 3) : l);
    }
    return out;
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
    QString oldCwd;

private slots:
    void initTestCase()
    {
        pinTestLocale();
        oldCwd = QDir::currentPath();
    }
    void cleanup() { QDir::setCurrent(oldCwd); }

    // ---- pure: the text form -------------------------------------------------------------

    void textForm_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("options");
        QTest::newRow("folders and sync") << R"(/mp C:\Data /sp D:\Backup /sy)" << R"(Source[C:\DATA] Target[D:\BACKUP] Sy)";
        QTest::newRow("source alone") << R"(/mp C:\Data)" << R"(Source[C:\DATA])";
        QTest::newRow("cb alone") << "/cb" << "Cb";
        QTest::newRow("switches, long names, any case") << "/cmissing /CN /Do /cb" << "Cm Cn Do Cb";
        QTest::newRow("run name keeps its case") << "/na Night Run" << "Name[Night Run]";
        QTest::newRow("NAME x is na") << "/NAME x" << "Name[x]";
        QTest::newRow("NAMEx is a format error") << "/NAMEx" << "Error";
        QTest::newRow("help is HE") << "/help" << "Error";
        QTest::newRow("empty piece") << "//cm" << "Error";
        QTest::newRow("stops at the error") << "/cm//sy" << "Cm Error";
        QTest::newRow("trailing slash") << "/cm /" << "Cm Error";
        QTest::newRow("quoted line: name keeps closing quote") << "\"/na Night Run\"" << "Name[Night Run\"]";
        QTest::newRow("question mark with blank") << "/? " << "Help";
        QTest::newRow("h stops") << "/h /cm" << "Help";
        QTest::newRow("folder without value") << "/mp" << "Error";
        QTest::newRow("folder with blanks only") << "/sp    " << "Error";
        QTest::newRow("value keeps inner blanks") << "/na   Two  Blanks  " << "Name[  Two  Blanks]";
        QTest::newRow("text before the first option") << "ignored /cm" << "Cm";
        QTest::newRow("blank inside the name") << "/ cm" << "Error";
        QTest::newRow("unknown") << "/xx" << "Error";
        QTest::newRow("inner quotes stay") << R"(/mp "C:\My Data" /cm)" << R"(Source["C:\MY DATA"] Cm)";
        QTest::newRow("later folder replaces") << "/mp a /mp b" << "Source[A] Source[B]";
        QTest::newRow("ba last") << "/mp a /sp b /sy /ba" << "Source[A] Target[B] Sy Ba";
        QTest::newRow("ba first, upper case") << "/BA /mp a /sp b /sy" << "Ba Source[A] Target[B] Sy";
        QTest::newRow("ba joined") << "/mp a /sp b /sy/ba" << "Source[A] Target[B] Sy Ba";
        QTest::newRow("ba long name") << "/batch /mp a /sp b" << "Ba Source[A] Target[B]";
        QTest::newRow("ba alone") << "/ba" << "Error";
        QTest::newRow("ba without target") << "/mp a /ba /cm" << "Source[A] Error";
        QTest::newRow("ba without source") << "/ba /sp b" << "Error";
        QTest::newRow("ba with a blank inside") << "/b a /mp a /sp b" << "Error";
        QTest::newRow("ba then help") << "/ba /?" << "Ba Help";
        QTest::newRow("ba then an error") << "/ba //cm" << "Ba Error";
    }
    void textForm()
    {
        QFETCH(QString, line);
        QFETCH(QString, options);
        QCOMPARE(render(InterpretCommandLine(SplitCommandText(line))), options);
    }

    void textFormCopies()
    {
        // Zero length: nothing parsed.
        QVERIFY(SplitCommandText(QString()).empty);
        // A pair of quotes: nothing left after their removal, no option, but not empty.
        CommandLineSplit q = SplitCommandText("\"\"");
        QVERIFY(!q.empty);
        QVERIFY(!q.hasOption);
        QVERIFY(q.logged.isEmpty());
        QVERIFY(q.pieces.isEmpty());
        // One quote each side removed from the upper-case copy only, independently.
        QCOMPARE(SplitCommandText("\"/na x").logged, QString("/NA X"));
        QCOMPARE(SplitCommandText("/na x\"").logged, QString("/NA X"));
        QCOMPARE(SplitCommandText("\"\"/na x\"\"").logged, QString("\"/NA X\""));
        QCOMPARE(SplitCommandText("no options").hasOption, false);
    }

    // ---- pure: the word form -------------------------------------------------------------

    void wordForm_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("options");
        QTest::newRow("absolute paths")
            << QStringList{"/mp", "/home/me/My Data", "/sp", "/mnt/backup", "/sy"}
            << "Source[/home/me/My Data] Target[/mnt/backup] Sy";
        QTest::newRow("path split into words")
            << QStringList{"/mp", "/home/me/My", "Data", "/sp", "/mnt/backup", "/sy"}
            << "Source[/home/me/My Data] Target[/mnt/backup] Sy";
        QTest::newRow("option and value in one word") << QStringList{"/mp /home/x", "y"} << "Source[/home/x y]";
        QTest::newRow("values keep their case") << QStringList{"/MP", "/Home/Lower", "/Sp", "/mnt/BackUp"}
                                                << "Source[/Home/Lower] Target[/mnt/BackUp]";
        QTest::newRow("help is HE") << QStringList{"/help"} << "Error";
        QTest::newRow("NAMEx alone") << QStringList{"/NAMEx"} << "Error";
        QTest::newRow("NAMEx with a word") << QStringList{"/NAMEx", "Night"} << "Name[Night]";
        QTest::newRow("double slash") << QStringList{"//cm"} << "Error";
        QTest::newRow("run name of words") << QStringList{"/na", "Night", "Run"} << "Name[Night Run]";
        QTest::newRow("run name beginning with slash") << QStringList{"/na", "/odd", "name", "/cm"} << "Name[/odd name] Cm";
        QTest::newRow("folder option last") << QStringList{"/mp"} << "Error";
        QTest::newRow("empty value word") << QStringList{"/mp", ""} << "Error";
        QTest::newRow("stops at the error") << QStringList{"/mp", "/a", "/sp"} << "Source[/a] Error";
        QTest::newRow("words before options") << QStringList{"junk", "more", "/cb"} << "Cb";
        QTest::newRow("question mark") << QStringList{"/?"} << "Help";
        QTest::newRow("h") << QStringList{"/H", "/cm"} << "Help";
        QTest::newRow("extra words after a switch") << QStringList{"/cm", "extra", "/sy"} << "Cm Sy";
        QTest::newRow("lone slash") << QStringList{"/"} << "Error";
        QTest::newRow("switches joined in a word") << QStringList{"/mp", "/a", "/sp", "/b", "/sy/BA"}
                                                   << "Source[/a] Target[/b] Sy Ba";
        QTest::newRow("ba apart, first") << QStringList{"/Ba", "/mp", "/a", "/sp", "/b", "/cm"}
                                         << "Ba Source[/a] Target[/b] Cm";
        QTest::newRow("joined switch then a folder option") << QStringList{"/ba/mp", "/a", "/sp", "/b"}
                                                            << "Ba Source[/a] Target[/b]";
        QTest::newRow("folder option keeps a joined path") << QStringList{"/mp/a", "x", "/sp", "/b", "/ba"}
                                                           << "Source[x] Target[/b] Ba";
        QTest::newRow("ba as a run name is no switch") << QStringList{"/na", "/ba", "/mp", "/a"} << "Name[/ba] Source[/a]";
        QTest::newRow("ba without folders") << QStringList{"/sy", "/ba"} << "Sy Error";
        QTest::newRow("joined ending in a slash") << QStringList{"/cm/"} << "Cm Error";
        QTest::newRow("max-delete first") << QStringList{"--max-delete=25", "/sy"} << "MaxDelete[25] Sy";
        QTest::newRow("max-delete after a folder") << QStringList{"/mp", "/x", "--max-delete=0", "/sy"}
                                                  << "Source[/x] MaxDelete[0] Sy";
        QTest::newRow("max-delete as a folder") << QStringList{"/mp", "--max-delete=3"} << "Source[--max-delete=3]";
        QTest::newRow("max-delete not a number") << QStringList{"/sy", "--max-delete=x"} << "Sy Error";
        QTest::newRow("max-delete empty") << QStringList{"/sy", "--max-delete="} << "Sy Error";
        QTest::newRow("max-delete without a bound") << QStringList{"/sy", "--max-delete"} << "Sy Error";
        QTest::newRow("max-delete negative") << QStringList{"/sy", "--max-delete=-1"} << "Sy Error";
        QTest::newRow("max-delete with a word after") << QStringList{"/sy", "--max-delete=3", "x"} << "Sy Error";
    }
    void wordForm()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, options);
        QCOMPARE(render(InterpretCommandLine(SplitCommandWords(words))), options);
    }

    void batchIsSeenInEveryPiece()
    {
        // Wherever /ba stands, the whole run is unattended, its format error included.
        QVERIFY(AsksForBatch(SplitCommandWords({"/zz", "/mp", "/a", "/ba"})));
        QVERIFY(AsksForBatch(SplitCommandText("/mp a /sp b /sy/ba")));
        QVERIFY(AsksForBatch(SplitCommandWords({"/BAtch"})));
        // The value of a run name or a folder is not an option.
        QVERIFY(!AsksForBatch(SplitCommandWords({"/na", "/ba"})));
        QVERIFY(!AsksForBatch(SplitCommandWords({"/mp", "/ba", "/sp", "/b"})));
        QVERIFY(!AsksForBatch(SplitCommandWords({"ba", "/cm"})));
        QVERIFY(!AsksForBatch(SplitCommandText("/cb")));
    }

    void wordFormCopies()
    {
        QVERIFY(SplitCommandWords({}).empty);
        const CommandLineSplit s = SplitCommandWords({"/mp", "/a b", "/Sy"});
        QCOMPARE(s.logged, QString("/mp /a b /Sy"));
        QVERIFY(s.hasOption);
        QVERIFY(!SplitCommandWords({"no", "options"}).hasOption);
        const CommandLineSplit e = SplitCommandWords({""});
        QVERIFY(!e.empty);
        QVERIFY(e.logged.isEmpty());
    }

    void helpTextAndCaption()
    {
        QCOMPARE(CommandLineHelpText(), kHelp);
        QCOMPARE(CommandLineHelpText().split("\r\n").size(), 19);
        QVERIFY(CommandLineHelpText().contains("        /ba(tch)  "));
        QVERIFY(!CommandLineHelpText().endsWith("\r\n"));
        QCOMPARE(RunNameCaption("Night Run"), QString("Marnisyn Night Run (Vers. 14.8.15)"));
    }

    void pathRoutines()
    {
        QCOMPARE(AddBackslash(""), QString("/"));
        QCOMPARE(AddBackslash("/a"), QString("/a/"));
        QCOMPARE(AddBackslash("/a/"), QString("/a/"));
        QString keep = "/b";
        AddBackslash(keep);
        QCOMPARE(keep, QString("/b"));

        TestRig rig;
        mkdirs(rig.path("dir"));
        writeFile(rig.path("file"), "x");
        QVERIFY(CheckFolderExists(rig.path("dir")));
        QVERIFY(CheckFolderExists(rig.path("dir/")));
        QVERIFY(!CheckFolderExists(rig.path("file")));
        QVERIFY(!CheckFolderExists(rig.path("file/")));
        QVERIFY(!CheckFolderExists(rig.path("missing")));
        QVERIFY(!CheckFolderExists(""));
    }

    // ---- effects: the word form (Linux) --------------------------------------------------

    void wordFormNamesBothFolders()
    {
        TestRig rig;
        mkdirs(rig.path("My Data"));
        mkdirs(rig.path("backup"));
        // Quoted as one word and typed as separate words.
        const QList<QStringList> lines = {
            {"/mp", rig.path("My Data"), "/sp", rig.path("backup"), "/sy"},
            {"/mp", rig.path("My"), "Data", "/sp", rig.path("backup"), "/sy"},
        };
        for (const QStringList &words : lines) {
            rig.ctx.setOptions(RunOptions{});
            QVERIFY(ParseCommandLine(rig.ctx, words));
            QCOMPARE(rig.host.text(Ctl::txtSource), rig.path("My Data/"));
            QCOMPARE(rig.host.text(Ctl::txtTarget), rig.path("backup/"));
            QVERIFY(rig.ctx.options().AutoRun && rig.ctx.options().SwitchCm && rig.ctx.options().SwitchCn && rig.ctx.options().SwitchDo);
            QCOMPARE(linesAfterDate(rig).last(), "  Parsing command line options: " + words.join(' '));
        }
        QVERIFY(rig.host.asker.asked.isEmpty());
        QVERIFY(!rig.host.closed);
    }

    void wordFormLowerCasePathExists()
    {
        TestRig rig;
        mkdirs(rig.path("lower/data"));
        QVERIFY(!QFileInfo::exists(rig.path("LOWER/DATA")));
        QVERIFY(ParseCommandLine(rig.ctx, {"/MP", rig.path("lower/data/")}));
        QCOMPARE(rig.host.text(Ctl::txtSource), rig.path("lower/data/"));
        QVERIFY(rig.ctx.options().AutoRun);
        QVERIFY(!rig.ctx.options().SwitchCm);
    }

    void flagsClearedAndSwitches()
    {
        TestRig rig;
        rig.ctx.setOptions(RunOptions{.SwitchCm = true, .SwitchDo = true});
        QVERIFY(ParseCommandLine(rig.ctx, {"/cb"}));
        QVERIFY(rig.ctx.options().AutoRun);
        QVERIFY(!rig.ctx.options().SwitchCm && !rig.ctx.options().SwitchCn && !rig.ctx.options().SwitchDo);
        QVERIFY(ParseCommandLine(rig.ctx, {"/cn", "/do"}));
        QVERIFY(rig.ctx.options().AutoRun && !rig.ctx.options().SwitchCm && rig.ctx.options().SwitchCn && rig.ctx.options().SwitchDo);
        // A run name sets no flag.
        rig.host.setText(Ctl::Form, "before");
        QVERIFY(ParseCommandLine(rig.ctx, {"/na", "Night", "Run"}));
        QVERIFY(!rig.ctx.options().AutoRun);
        QCOMPARE(rig.host.text(Ctl::Form), QString("Marnisyn Night Run (Vers. 14.8.15)"));
    }

    // A missing folder through start-up: one log line, one box, one save question, the window
    // closes, nothing after the failing option is applied.
    void wordFormMissingFolder_data()
    {
        QTest::addColumn<bool>("source");
        QTest::newRow("source") << true;
        QTest::newRow("target") << false;
    }
    void wordFormMissingFolder()
    {
        QFETCH(bool, source);
        TestRig rig;
        mkdirs(rig.path("there"));
        const QString missing = rig.path("no/such");
        const QStringList words = source
            ? QStringList{"/mp", missing, "/sp", rig.path("there"), "/na", "Night", "/sy"}
            : QStringList{"/mp", rig.path("there"), "/sp", missing, "/na", "Night", "/sy"};
        const QString box = (source ? "Source" : "Target") + QString(" Path named on parm line not found: ") + missing + "/";
        rig.host.asker.expect(Button::Ok, box).expect(Button::No, "Do you want to save settings?");
        FormLoad(rig.ctx, words);

        QCOMPARE(rig.host.asker.asked.size(), 2);
        QCOMPARE(rig.host.asker.asked[0].text, box);
        QCOMPARE(rig.host.asker.asked[0].title, QString("Quorvel Marnisyn"));
        QCOMPARE(rig.host.asker.asked[0].buttons, Buttons::Ok);
        const QString logLine = source ? " Source Path named on parm line not empty or found: " + missing + "/"
                                       : " Target Path named on parm line empty or not found: " + missing + "/";
        const QStringList lines = linesAfterDate(rig);
        QCOMPARE(lines.count(logLine), 1);
        QCOMPARE(lines.last(), logLine);
        QCOMPARE(rig.host.closeCalls, 1);
        QCOMPARE(rig.host.prepareCalls, 0);
        QVERIFY(!rig.ctx.options().SwitchCm);
        QVERIFY(!rig.host.text(Ctl::Form).contains("Night"));
        if (source) {
            QCOMPARE(rig.host.text(Ctl::txtTarget), platform::designTarget());
        } else {
            // Options before the failing one keep their effects.
            QCOMPARE(rig.host.text(Ctl::txtSource), rig.path("there/"));
        }
    }

    void formatErrorsGiveOneShutdown_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::newRow("help") << QStringList{"/help"};
        QTest::newRow("NAMEx") << QStringList{"/NAMEx"};
        QTest::newRow("double slash") << QStringList{"//cm"};
        QTest::newRow("folder without value") << QStringList{"/cm", "/mp"};
    }
    void formatErrorsGiveOneShutdown()
    {
        QFETCH(QStringList, words);
        TestRig rig;
        rig.host.asker.expect(Button::Cancel, "Do you want to save settings?");
        FormLoad(rig.ctx, words);
        QCOMPARE(rig.host.asker.asked.size(), 1);
        QCOMPARE(rig.host.closeCalls, 1);
        QCOMPARE(rig.host.prepareCalls, 0);
        const QStringList lines = linesAfterDate(rig);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], "  Parsing command line options: " + words.join(' '));
        QCOMPARE(lines[1], kFormatError);
        QCOMPARE(lines[2], " Command line with error: " + words.join(' '));
    }

    void helpEndsTheProgram_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::newRow("no option") << QStringList{"please", "help"};
        QTest::newRow("question mark") << QStringList{"/?"};
        QTest::newRow("h after a name") << QStringList{"/na", "x", "/h", "/sy"};
    }
    void helpEndsTheProgram()
    {
        QFETCH(QStringList, words);
        TestRig rig;
        rig.host.asker.expect(Button::Ok).expect(Button::No, "Do you want to save settings?");
        FormLoad(rig.ctx, words);
        QCOMPARE(rig.host.asker.asked.size(), 2);
        const Question &h = rig.host.asker.asked[0];
        QCOMPARE(h.text, kHelp);
        QCOMPARE(h.title, QString("Quorvel marnisyn"));
        QCOMPARE(h.buttons, Buttons::Ok);
        QCOMPARE(rig.host.closeCalls, 1);
        QCOMPARE(rig.host.prepareCalls, 0);
        QVERIFY(!rig.ctx.options().SwitchCm);
    }

    // ---- effects: the text form ----------------------------------------------------------

    void textFormFoldersInUpperCase()
    {
        TestRig rig;
        QVERIFY(QDir::setCurrent(rig.tmp.path()));
        mkdirs(rig.path("DATA"));
        mkdirs(rig.path("BACKUP"));
        QVERIFY(ParseCommandLineText(rig.ctx, "/mp data /sp backup /sy"));
        // Folders named relative to the current folder are made absolute.
        QCOMPARE(rig.host.text(Ctl::txtSource), rig.path("DATA/"));
        QCOMPARE(rig.host.text(Ctl::txtTarget), rig.path("BACKUP/"));
        QVERIFY(rig.ctx.options().AutoRun && rig.ctx.options().SwitchCm && rig.ctx.options().SwitchCn && rig.ctx.options().SwitchDo);
        QCOMPARE(linesAfterDate(rig).last(), QString("  Parsing command line options: /MP DATA /SP BACKUP /SY"));

        // Source alone: an automatic run without actions.
        QVERIFY(ParseCommandLineText(rig.ctx, "/mp data"));
        QVERIFY(rig.ctx.options().AutoRun && !rig.ctx.options().SwitchCm && !rig.ctx.options().SwitchCn && !rig.ctx.options().SwitchDo);
        // A later folder replaces an earlier one.
        QVERIFY(ParseCommandLineText(rig.ctx, "/mp data /mp backup"));
        QCOMPARE(rig.host.text(Ctl::txtSource), rig.path("BACKUP/"));
        // The text form upper-cases the folder: a lower-case folder is not found.
        mkdirs(rig.path("lower"));
        rig.host.asker.expect(Button::Ok, "Source Path named on parm line not found: " + rig.path("LOWER/"));
        QVERIFY(!ParseCommandLineText(rig.ctx, "/mp lower"));
        QVERIFY(rig.host.asker.asked.size() == 1);
        QVERIFY(!rig.host.closed);   // start-up closes the window, not the parser
    }

    void textFormTargetMissingKeepsEarlierOptions()
    {
        TestRig rig;
        QVERIFY(QDir::setCurrent(rig.tmp.path()));
        mkdirs(rig.path("DATA"));
        rig.host.setText(Ctl::Form, "caption");
        rig.host.asker.expect(Button::Ok, "Target Path named on parm line not found: " + rig.path("NOSUCH/"));
        QVERIFY(!ParseCommandLineText(rig.ctx, "/mp data /sp nosuch /na X"));
        QCOMPARE(rig.host.text(Ctl::txtSource), rig.path("DATA/"));
        QCOMPARE(rig.host.text(Ctl::Form), QString("caption"));
        QCOMPARE(linesAfterDate(rig).last(), " Target Path named on parm line empty or not found: " + rig.path("NOSUCH/"));
    }

    void textFormNameAndQuotes()
    {
        TestRig rig;
        QVERIFY(ParseCommandLineText(rig.ctx, "/na Night Run"));
        QCOMPARE(rig.host.text(Ctl::Form), QString("Marnisyn Night Run (Vers. 14.8.15)"));
        QVERIFY(!rig.ctx.options().AutoRun);
        QVERIFY(ParseCommandLineText(rig.ctx, "\"/na Night Run\""));
        QCOMPARE(rig.host.text(Ctl::Form), QString("Marnisyn Night Run\" (Vers. 14.8.15)"));
        QCOMPARE(linesAfterDate(rig).last(), QString("  Parsing command line options: /NA NIGHT RUN"));
        QVERIFY(ParseCommandLineText(rig.ctx, "/NAME x"));
        QCOMPARE(rig.host.text(Ctl::Form), QString("Marnisyn x (Vers. 14.8.15)"));
        QVERIFY(rig.host.asker.asked.isEmpty());
    }

    void textFormEmptyAndQuotesOnly()
    {
        TestRig rig;
        const int before = rig.logLines().size();
        QVERIFY(ParseCommandLineText(rig.ctx, ""));
        QCOMPARE(rig.logLines().size(), before);   // nothing logged for an empty line
        QVERIFY(ParseCommandLineText(rig.ctx, "\"\""));
        QCOMPARE(linesAfterDate(rig).last(), QString("  Parsing command line options: "));
        QVERIFY(rig.host.asker.asked.isEmpty());
        QVERIFY(!rig.host.closed);
        QVERIFY(!rig.ctx.options().AutoRun);
    }

    void textFormErrorsAndHelp()
    {
        {
            TestRig rig;
            rig.host.asker.expect(Button::No, "Do you want to save settings?");
            QVERIFY(!ParseCommandLineText(rig.ctx, "/cm /help"));
            QCOMPARE(rig.host.closeCalls, 1);
            const QStringList lines = linesAfterDate(rig);
            QCOMPARE(lines.mid(lines.size() - 2), QStringList({kFormatError, " Command line with error: /CM /HELP"}));
        }
        {
            TestRig rig;
            rig.host.asker.expect(Button::Ok).expect(Button::Yes, "Do you want to save settings?");
            QVERIFY(!ParseCommandLineText(rig.ctx, "no options at all"));
            QCOMPARE(rig.host.asker.asked[0].text, kHelp);
            QCOMPARE(rig.host.closeCalls, 1);
        }
    }

    // A pair of quotes as the only word: a command line was given (the stored folders stay
    // unread) but nothing is parsed; the start is interactive.
    void quotesOnlyWordStartsInteractively()
    {
        TestRig rig;
        rig.ctx.settings.SaveSetting("Parms", "Source", "/stored");
        FormLoad(rig.ctx, {""});
        QCOMPARE(rig.host.prepareCalls, 1);
        QCOMPARE(rig.host.text(Ctl::txtSource), platform::designSource());
        QVERIFY(rig.host.asker.asked.isEmpty());
        QVERIFY(!rig.host.closed);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
