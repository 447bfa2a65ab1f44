#pragma once
// The one seam through which the program asks the user anything: message boxes, the
// size-difference dialog and the folder browse dialog. Production answers with real dialogs
// (the window library); tests install a scripted answerer that records every question.
#include <QString>
#include <QStringList>

enum class Buttons { Ok, YesNo, YesNoCancel, OkCancel };
enum class Icon { None, Information, Question, Exclamation, Critical };
enum class Button { Ok, Yes, No, Cancel, Closed };   // Closed: the box was closed without a button

enum class QuestionKind {
    Message,      // a message box: title, text, buttons, icon; first button is the default
    SizeDialog,   // the modal size-difference dialog: answer carries the two check boxes
    FolderDialog, // a folder browse dialog: text is the title, initialPath the start folder
};

// What the answer to a question decides, where an unattended run must not simply take the
// default button.
enum class Decides { Nothing, OrphanDeletion, SaveSettings };

struct Question {
    QuestionKind kind = QuestionKind::Message;
    QString title;
    QString text;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    QString initialPath;   // FolderDialog: the folder it opens in (or the root it is limited to)
    bool rootedAtInitial = false; // FolderDialog: the user may not leave initialPath
    Decides decides = Decides::Nothing;
};

struct Answer {
    Button button = Button::Ok;
    bool check1 = false;   // SizeDialog: the box for files larger on the source
    bool check2 = false;   // SizeDialog: the box for files smaller on the source
    QString path;          // FolderDialog: the chosen folder; empty when cancelled
};

class Asker {
public:
    virtual ~Asker() = default;
    virtual Answer ask(const Question &q) = 0;
};

// Shorthands used everywhere a message box is shown.
Question messageBox(const QString &text, Buttons buttons, const QString &title, Icon icon = Icon::None);
