#pragma once
// The texts of the rollout options for the options dialog's group "Безопасный запуск":
// per option its caption, its unit label (empty: none), the check box's tooltip and the
// field's tooltip, which says what the option does, its range and what "not defined" means.
// Indexed by option - first_rollout_option (config/options.h).

#include "config/options.h"

#include <QString>

QString rollout_group_title(); // "Безопасный запуск"
QString rollout_option_caption(int option);
QString rollout_option_unit(int option);
QString rollout_option_unit_hint(int option); // the unit label's tooltip; empty without a unit
QString rollout_option_cbox_hint(int option);
QString rollout_option_hint(int option); // with the range and the default filled in

void rollout_option_texts_clear_translation();
