#pragma once
#include "core/Context.h"

// The seven action choice texts, index 0 to 6.
const QStringList &ChoiceTexts();
// Describes the selected choice: status texts, Copy caption, the visible result list.
void DescribeChoice(Context &ctx);
// Checks the Options item of the selected choice and unchecks the others.
void CheckChoiceMenu(Context &ctx);
// Checks Options item itm`k` (1..7) and unchecks the others.
void CheckChoiceMenu(Context &ctx, int k);
// The window's events of the choices: a selection change of cboChoices, Options item itm`k`.
void CboChoicesClick(Context &ctx);
void ItmClick(Context &ctx, int k);
