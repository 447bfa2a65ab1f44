#pragma once
// The seven action choices: their entries in the choice box (index 0 to 6, in this order) and
// the Options menu items itm1 to itm7 that mirror them.

enum class Choice {
    NewAndChanged,     // copy new items, then changed files, to the target
    NewItems,          // copy new files and folders to the target
    ChangedToTarget,   // copy files newer on the source to the target
    ChangedToSource,   // copy files newer on the target back to the source
    SizeDifferences,   // copy files whose lengths differ, either way
    DeleteOrphans,     // delete the items found only on the target
    ExactCopy,         // delete orphans, copy new, then overwrite every changed file
};

inline constexpr Choice AllChoices[] = {Choice::NewAndChanged, Choice::NewItems, Choice::ChangedToTarget,
                                        Choice::ChangedToSource, Choice::SizeDifferences, Choice::DeleteOrphans,
                                        Choice::ExactCopy};

// The choice's entry in the choice box.
constexpr int choiceIndex(Choice c) { return int(c); }
// The number k of the choice's Options item itm`k`.
constexpr int menuItemOf(Choice c) { return int(c) + 1; }
// Whether a choice box index (-1 when nothing is selected) names one of the choices.
constexpr bool isChoiceIndex(int index) { return index >= 0 && index <= choiceIndex(Choice::ExactCopy); }
// Whether `k` names one of the Options items itm1 to itm7.
constexpr bool isMenuItem(int k) { return k >= 1 && k <= menuItemOf(Choice::ExactCopy); }
// The choice at a choice box index, which isChoiceIndex accepts.
constexpr Choice choiceAt(int index) { return Choice(index); }
// The choice of Options item itm`k`, which isMenuItem accepts.
constexpr Choice choiceOfMenuItem(int k) { return Choice(k - 1); }
