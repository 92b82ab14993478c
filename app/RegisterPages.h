// Registers every wizard page class the program has with the page registry
// (ui/frame/PageFactory.h), by template id. A page class that is not built
// yet is simply not registered: the page before it then reports that it
// cannot be created.
#pragma once

void RegisterWizardPages();
