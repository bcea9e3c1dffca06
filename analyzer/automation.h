// Command-line automation: actions that drive the panels as a person would, in the order given,
// so measurements can be scripted and run headless.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include <string>
#include <vector>

#include "analyzer/automation_plan.h"

// After the panels are loaded: every role of the plan names a control. 0, else 2 and *error.
int CheckAutomationRoles(const AutomationPlan& plan, std::string* error);
// Installs the popup handler (popups to standard error, file dialogs answered by --file) and
// runs the actions. 0 when all succeeded; otherwise the exit status, the reason in *error.
int RunAutomation(const AutomationPlan& plan, std::string* error);
// Popups seen by the handler since RunAutomation began, "title: text" each (for tests).
const std::vector<std::string>& AutomationPopups();
