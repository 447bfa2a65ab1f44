#pragma once
#include "core/Choice.h"
#include "core/Context.h"

// The seven action choice texts, in the order of Choice.
const QStringList &ChoiceTexts();
// Describes the selected choice: status texts, Copy caption, the visible result list.
void DescribeChoice(Context &ctx);
// Checks the Options item of the selected choice and unchecks the others.
void CheckChoiceMenu(Context &ctx);
// Checks Options item itm`k` (see menuItemOf) and unchecks the others; any other k unchecks all.
void CheckChoiceMenu(Context &ctx, int k);
// The window's events of the choices: a selection change of cboChoices, Options item itm`k`.
void CboChoicesClick(Context &ctx);
void ItmClick(Context &ctx, int k);
