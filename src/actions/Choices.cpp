#include "actions/Choices.h"

const QStringList &ChoiceTexts()
{
    static const QStringList texts = {
        QStringLiteral("Source > Target - Copy Files New and changed from Source"),
        QStringLiteral("Source > Target - Copy Files New From Source"),
        QStringLiteral("Source > Target - Copy Files Changed from Source"),
        QStringLiteral("Target > Source - Copy Files Changed from Target"),
        QStringLiteral("Target <=> Source Copy Files having Size Difference"),
        QStringLiteral("Delete Files Orphan from Target"),
        QStringLiteral("Source = Target - Copy Exact to Target - Overwrite All (Delete Orphans from Target)"),
    };
    return texts;
}
