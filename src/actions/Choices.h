#pragma once
#include "app/Context.h"

// The seven action choice texts, index 0 to 6.
const QStringList &ChoiceTexts();
// Describes the selected choice: status texts, Copy caption, the visible result list.
void DescribeChoice(Context &ctx);
// Checks the Options item of the selected choice and unchecks the others.
void CheckChoiceMenu(Context &ctx);
// Checks Options item itm`k` (1..7) and unchecks the others.
void CheckChoiceMenu(Context &ctx, int k);
